// SPDX-License-Identifier: MIT
#pragma once
#include "boardfile.h"

#include <functional>
#include <map>
#include <string>

namespace kousb::sim {

// The folder of simulated boards and the files in it, the one place that
// reads and writes them for the library, kousb-sim, the benchmark and tests:
//
//   slot-NN.board            a plugged board: configuration and EEPROM
//   powered/slot-NN.state    what the plugged board holds while powered,
//                            shared by every process (sharedboard.h)
//   unplugged/slot-NN.board  a board unplugged from slot NN, kept for replug
class BoardStore {
public:
    explicit BoardStore(std::string dir);
    // The folder every program uses (simdirectory.h).
    static BoardStore standard();

    const std::string& dir() const { return m_dir; }
    std::string boardPath(int slot) const;
    std::string shelfPath(int slot) const;

    // The folder is usable only if it is the user's own and no other user can
    // write to it: boards planted by someone else are never listed or
    // written. Creates it (0700) when missing and `create`. False with a
    // message naming the folder and what to do.
    bool check(std::string& error, bool create = true) const;

    struct Entry {
        std::string path;
        BoardState config;
    };
    using Skip = std::function<void(const std::string& path, const std::string& reason)>;
    // Every usable board file, by slot; each one that is not usable is passed
    // to `skip` with the reason (unreadable, not the user's, a link, says
    // another slot).
    std::map<int, Entry> boards(const Skip& skip) const;

    // Plugs a new board: a new instance, in `slot`, or in the lowest free
    // slot from 0 for -1; returns the slot, -1 with `error` (a taken slot
    // says so).
    int plug(BoardState state, int slot, std::string& error) const;
    // Unplugs the board in `slot`: its file moves to the shelf, its state
    // (all but the EEPROM) is lost.
    bool unplug(int slot, std::string& error) const;
    // Plugs the board last unplugged from `slot` in again, as a new plugging
    // of the same board: EEPROM and configuration as they were, freshly powered.
    bool replug(int slot, std::string& error) const;

    // The board in `slot` as it is now: its file, and while it is powered the
    // shared state's EEPROM, loaded firmware, FPGA design and last writes.
    bool readLive(int slot, BoardState& state, std::string& error) const;

private:
    std::string m_dir;
};

}  // namespace kousb::sim
