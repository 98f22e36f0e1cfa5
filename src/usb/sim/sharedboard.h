// SPDX-License-Identifier: MIT
#pragma once
#include "boardmodel.h"
#include "boardfile.h"

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace kousb::sim {

// The writes whose last bytes a simulated board records, by the IO mode
// they serve and the way they reach the board: a vendor request's data
// stage, or an OUT endpoint.
struct RecordedRoute {
    const char* mode;
    std::uint8_t request;  // 0 for an endpoint
    std::uint8_t endpoint;
};
extern const RecordedRoute kRecordedRoutes[9];

struct RecordedWrite {
    std::uint64_t length;
    std::uint8_t headLength;
    bool written;
    std::uint8_t head[kLastWriteBytes];
};

// What a plugged board holds while it is powered: the board itself (our
// firmware's state on the controller and its chips, the EEPROM's cells
// among them) and the last writes. All zero before fwmodel::powerOn.
struct PoweredBoard {
    RecordedWrite lastWrites[sizeof kRecordedRoutes / sizeof kRecordedRoutes[0]];
    fwmodel::Board board;
};

// The state file's layout: one per plugged board, mapped shared by every
// process using the board, so that they all see one board.
struct SharedBoardState {
    std::uint64_t magic;
    std::uint64_t layoutSize;  // sizeof(SharedBoardState): a file of another build is started afresh
    pthread_mutex_t lock;      // robust and process-shared: a holder killed mid-call frees it
    char instance[72];         // the plugging this state belongs to
    std::uint8_t unplugged;    // this plugging has ended; the file is going
    alignas(4096) PoweredBoard powered;
};

// A board's state file, mapped. open() creates the file when needed and
// powers the board on (EEPROM from the board file, the rest as the board
// file says it comes up) when the file belongs to another plugging or to none.
class SharedBoard {
public:
    // Opens `path` without following links; refuses a file of another user.
    // Null with a reason naming the path.
    static std::unique_ptr<SharedBoard> open(const std::string& path, const BoardState& config, std::string& error);
    // Maps an existing state file for reading (kousb-sim show); null if there
    // is none for this plugging.
    static std::unique_ptr<SharedBoard> openExisting(const std::string& path, const std::string& instance);
    // Ends the plugging whose state is at `path`: whoever still maps it sees
    // the board unplugged at its next transfer, also within a call that holds
    // the lock; the file goes.
    static void unplug(const std::string& path);
    ~SharedBoard();
    SharedBoard(const SharedBoard&) = delete;
    SharedBoard& operator=(const SharedBoard&) = delete;

    // Holds the board's lock. When the last holder died holding it, an
    // EEPROM page write it left half done is undone (the board file is then
    // written through by the next call, as after any EEPROM change).
    class Lock {
    public:
        explicit Lock(SharedBoard& board);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pthread_mutex_t* m_mutex;
    };

    SharedBoardState& state() { return *m_state; }
    fwmodel::Board& board() { return m_state->powered.board; }
    // True while this state is the plugging `instance`'s and it has not been
    // unplugged (caller holds the lock).
    bool belongsTo(const std::string& instance) const;

    // How often what the board shows (identity and EEPROM, FPGA design,
    // loaded firmware) has changed; any thread, no lock.
    std::uint32_t changes() const;
    // The caller's call that held the lock ends with `changes()` at `now`,
    // where it began at `before` (caller holds the lock): the state file is
    // touched when they differ, since writes into the mapping raise no file
    // event, so a process watching the state folder for attribute changes
    // (DirWatch::watchTouches) hears of it; and they count as seen here
    // unless another process's change was still unseen.
    void callEnded(std::uint32_t before, std::uint32_t now);
    // True when another process has changed what the board shows since this
    // object last looked; this object's own changes do not count. Any thread.
    bool changedElsewhere();

private:
    SharedBoard(SharedBoardState* state, int fd);
    void powerOn(const BoardState& config);
    SharedBoardState* m_state;
    int m_fd;  // the state file, kept open to touch it
    std::atomic<std::uint32_t> m_seen{0};
};

}  // namespace kousb::sim
