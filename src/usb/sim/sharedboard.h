// SPDX-License-Identifier: MIT
#pragma once
#include "../eepromlayout.h"
#include "boardfile.h"
#include "bulkpipe.h"
#include "i2ceeprom.h"
#include "memoryspace.h"
#include "spiflash.h"
#include "statusreport.h"
#include "tempsensor.h"
#include "uartloopback.h"

#include <pthread.h>

#include <cstdint>
#include <memory>
#include <string>

namespace kousb::sim {

// The IO modes whose last write a board records, in a fixed order.
enum class IoMode : std::uint8_t { External, Fpga, Controller, I2c, Spi, Uart, Command, Interrupt, Block, Count };
const char* ioModeName(IoMode mode);

// Puts `text` into a fixed field of the state, cut to fit, NUL-padded.
void copyText(char* to, std::size_t size, const std::string& text);

// What a board holds while it is powered, lost when it is unplugged. All of
// it is plain data, and all zero bytes are a freshly powered board but for
// the few fields powerOn() sets.
struct BoardRam {
    Space16 controllerMemory;  // internal RAM at 0x0000-0x3FFF, second RAM at 0xE000-0xE1FF
    Space16 externalMemory;
    Space16 fpgaRegisters;
    char fpgaDesign[128];          // empty: not configured
    char controllerFirmware[128];  // empty: boot loader only
    I2cEeprom eepromChip;          // the chip's address counter
    TempSensor tempSensor;
    UartLoopback uart;
    Report lastHostReport;
    std::uint32_t hostReports;
    std::uint32_t reportSequence;
    struct LastWrite {
        std::uint64_t length;
        std::uint8_t headLength;  // 0 with length 0: never written
        bool written;
        std::uint8_t head[kLastWriteBytes];
    } lastWrites[static_cast<int>(IoMode::Count)];
    BulkPipe bulk;
    SpiFlash spiFlash;  // last: the big part, untouched until first written
};

// The state file's layout: one per plugged board, mapped shared by every
// process using the board, so that they all see one board.
struct SharedBoardState {
    std::uint64_t magic;
    std::uint64_t layoutSize;  // sizeof(SharedBoardState): a file of another build is started afresh
    pthread_mutex_t lock;      // robust and process-shared: a holder killed mid-call frees it
    char instance[72];         // the plugging this state belongs to
    // The EEPROM, written through to the board file on each change. While a
    // change is under way the bytes before it are in eepromBefore, so that a
    // process killed half-way is undone by the next holder of the lock.
    std::uint8_t eeprom[eeprom::kSize];
    std::uint8_t eepromBefore[eeprom::kSize];
    // How often what the board shows (identity, EEPROM, FPGA design, loaded
    // firmware) has changed; every process compares it with what it last saw.
    std::uint64_t changes;
    std::uint8_t changeUnderWay;  // eepromBefore holds the EEPROM before the change
    std::uint8_t fileBehind;      // the board file does not yet hold the EEPROM
    std::uint8_t unplugged;       // this plugging has ended; the file is going
    alignas(4096) BoardRam ram;
};

// A board's state file, mapped. open() creates the file when needed and
// powers the board on (EEPROM from the board file, the rest fresh) when the
// file belongs to another plugging or to none.
class SharedBoard {
public:
    // Opens `path` without following links; refuses a file of another user.
    // False with a reason naming the path.
    static std::unique_ptr<SharedBoard> open(const std::string& path, const BoardState& config, std::string& error);
    // Maps an existing state file for reading (kousb-sim show); null if there
    // is none for this plugging.
    static std::unique_ptr<SharedBoard> openExisting(const std::string& path, const std::string& instance);
    // Ends the plugging whose state is at `path`: whoever still maps it sees
    // the board unplugged; the file goes.
    static void unplug(const std::string& path);
    ~SharedBoard();
    SharedBoard(const SharedBoard&) = delete;
    SharedBoard& operator=(const SharedBoard&) = delete;

    // Holds the board's lock for one call. When the last holder died holding
    // it, an EEPROM change it left half done is undone (fileBehind is then
    // set: the caller rewrites the board file) and `recovered` is true.
    class Lock {
    public:
        explicit Lock(SharedBoard& board);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
        bool recovered() const { return m_recovered; }

    private:
        pthread_mutex_t* m_mutex;
        bool m_recovered = false;
    };

    SharedBoardState& state() { return *m_state; }
    // True while this state is the plugging `instance`'s and it has not been
    // unplugged (caller holds the lock).
    bool belongsTo(const std::string& instance) const;

    // What the board shows changed through this object (caller holds the
    // lock): counts the change and touches the state file, since writes into
    // the mapping raise no file event; a process watching the state folder
    // for attribute changes (DirWatch::watchTouches) hears of it.
    void noteChange();
    // True when another process has changed what the board shows since this
    // object last looked; this object's own changes do not count. Takes the lock.
    bool changedElsewhere();

private:
    SharedBoard(SharedBoardState* state, int fd);
    void powerOn(const BoardState& config);
    SharedBoardState* m_state;
    int m_fd;                  // the state file, kept open to touch it
    std::uint64_t m_seen = 0;  // `changes` as this object last saw it (under the lock)
};

}  // namespace kousb::sim
