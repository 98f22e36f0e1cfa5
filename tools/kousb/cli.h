// SPDX-License-Identifier: MIT
#pragma once
// Shared parts of the kousb command line: picking the board and text
// conversions; arguments, errors and exit codes come from arguments.h.
#include "KoUSBLib.h"
#include "arguments.h"
#include "boardlist.h"
#include "latin1.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cli {

using BoardEntry = boards::Entry;

// Starts the library and lists the attached boards in slot order.
std::vector<BoardEntry> attachedBoards();

// The board to work on: the one whose ID is `boardId`, or the only one
// attached. Several attached and none named is a UsageError that lists
// them; none attached, or none with that ID, is a Failure.
std::unique_ptr<KoUSBDevice> chooseBoard(const std::optional<int>& boardId);

// Throws Failure with "WHAT failed: REASON" from the device's last error.
[[noreturn]] void failed(KoUSBDevice& device, const std::string& what);

inline std::string latin1ToUtf8(const std::string& text) { return kousb::latin1::toUtf8(text); }
inline std::string printableBoardText(const std::string& text) { return kousb::latin1::toPrintableUtf8(text); }

// One line describing a board: "slot 0: ID 1, \"Demo board A\", class 1, FW 3".
std::string describe(const BoardEntry& board);

}  // namespace cli
