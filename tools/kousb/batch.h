// SPDX-License-Identifier: MIT
#pragma once
// Working on the boards a command names: one board as kousb always has, or
// a batch of them in parallel, each reported as it finishes.
#include "cli.h"

#include <functional>
#include <string>

namespace cli {

// What one board's work gives: what a single-board run prints on stdout (as
// the command always has), and the short result for the board's line in a
// batch.
struct BoardResult {
    std::string output;
    std::string summary;
};

// One board's share of the work.
struct BoardJob {
    KoUSBDevice& device;
    const BoardEntry& board;
    std::size_t index;  // the board's place among the targets (place order in a batch)
    bool batch;         // true among others: no progress bar, stderr lines name the board
};

// Does one board's work; throws Failure with the reason.
using BoardWork = std::function<BoardResult(const BoardJob& job)>;

// Runs `work` on each target and returns the exit code. A single board
// (no batch, no --json) runs on this thread, its output printed and a
// failure thrown, as before batches existed. Otherwise every board gets a
// thread of its own (the library serialises calls per board, not across
// boards) and, as each finishes, a line "PLACE<TAB>ID N<TAB>ok: RESULT or
// failed: REASON<TAB>SECONDS s"; then "N boards: D done, F failed, SECONDS s".
// With `json` one object per board instead, one a line. One board's failure
// never stops the others; kExitOk only when every board succeeded.
int runOnBoards(const Targets& targets, bool json, const BoardWork& work);

// The file name for one board from a pattern with {id}, {place} and
// {serial}. checkFilePattern refuses (UsageError naming `option`), in a
// batch, a pattern with another {...} and one that would not give every
// board a name of its own; one board takes any name.
std::string expandFilePattern(const std::string& pattern, const BoardEntry& board);
void checkFilePattern(const std::string& option, const std::string& pattern, const Targets& targets);

// "PLACE: " in a batch, so that a line on stderr names its board; empty otherwise.
std::string boardPrefix(const BoardJob& job);

}  // namespace cli
