// SPDX-License-Identifier: MIT
#pragma once
// Shared parts of the kousb command line: picking the boards and text
// conversions; arguments, errors and exit codes come from arguments.h.
#include "KoUSBLib.h"
#include "arguments.h"
#include "boardlist.h"
#include "latin1.h"

#include <memory>
#include <string>
#include <vector>

namespace cli {

using BoardEntry = boards::Entry;

// Starts the library and lists the attached boards in slot order.
std::vector<BoardEntry> attachedBoards();

// The boards a command works on, as its --board options (an ID, @PLACE or
// serial:SERIAL each, any number) and --all name them.
struct Targets {
    std::vector<BoardEntry> boards;  // in place order when several
    // --all or several --board: the boards are worked on as a batch (a line
    // per board and a summary), even when there is only one.
    bool batch = false;
};

// No --board and no --all: the only board attached, several being a
// UsageError that lists them. A selector that is none, names several boards
// or, for a place or serial, none is a UsageError listing the boards with the
// selector that picks each; an ID no board has is a Failure, as is no board
// attached at all.
Targets chooseTargets(const Arguments& arguments);

// chooseTargets for a command that works on one board only: --all or
// several --board is a UsageError.
std::unique_ptr<KoUSBDevice> chooseBoard(const Arguments& arguments);

// Throws Failure with "WHAT failed: REASON" from the device's last error.
[[noreturn]] void failed(KoUSBDevice& device, const std::string& what);

inline std::string latin1ToUtf8(const std::string& text) { return kousb::latin1::toUtf8(text); }
inline std::string printableBoardText(const std::string& text) { return kousb::latin1::toPrintableUtf8(text); }

// A JSON string holding `utf8`, quotes included.
std::string jsonString(const std::string& utf8);

// One line describing a board: "slot 0: ID 1, \"Demo board A\", class 1, FW 3".
std::string describe(const BoardEntry& board);

}  // namespace cli
