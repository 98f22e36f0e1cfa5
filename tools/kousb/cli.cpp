// SPDX-License-Identifier: MIT
#include "cli.h"

#include "boardselector.h"
#include "sim/boardstore.h"

#include <algorithm>
#include <cstdio>

namespace cli {

std::vector<BoardEntry> attachedBoards()
{
    static const bool started = InitUSB();
    (void)started;
    // A board folder that is not the user's own: the library has said so
    // (once) and lists no simulated boards; that is a failure here.
    std::string folderProblem;
    if (!kousb::sim::BoardStore::standard().check(folderProblem, false))
        throw Failure{""};
    return boards::attached();
}

std::string jsonString(const std::string& utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string describe(const BoardEntry& board)
{
    return "slot " + std::to_string(board.slot) + ": ID " + std::to_string(board.id) + ", \""
           + printableBoardText(board.name) + "\", class " + std::to_string(board.deviceClass) + ", FW "
           + std::to_string(board.firmwareVersion);
}

namespace {

// The boards, one a line, each with where it is and the --board that picks it.
std::string listing(const std::vector<BoardEntry>& shown, const std::vector<BoardEntry>& attached)
{
    std::string text;
    for (const BoardEntry& board : shown) {
        const std::string selector = boards::selectorFor(board, attached);
        text += "\n  " + describe(board) + ", at " + (board.place.empty() ? "?" : board.place)
                + (board.serial.empty() ? "" : ", serial " + board.serial)
                + (selector.empty() ? ": cannot be told apart" : ": --board " + selector);
    }
    return text;
}

void sortByPlace(std::vector<BoardEntry>& list)
{
    std::stable_sort(list.begin(), list.end(),
                     [](const BoardEntry& a, const BoardEntry& b) { return boards::placeLess(a.place, b.place); });
}

}  // namespace

Targets chooseTargets(const Arguments& arguments)
{
    const std::vector<std::string> named = arguments.values("--board");
    const bool all = arguments.flag("--all");
    if (all && !named.empty())
        throw UsageError{"--all and --board together"};
    std::vector<boards::Selector> selectors;
    for (const std::string& text : named) {
        boards::Selector selector;
        std::string error;
        if (!boards::parseSelector(text, selector, error))
            throw UsageError{"--board: " + error};
        selectors.push_back(selector);
    }

    const std::vector<BoardEntry> attached = attachedBoards();
    if (attached.empty())
        throw Failure{"no board attached"};
    Targets targets;
    targets.batch = all || selectors.size() > 1;
    if (all) {
        targets.boards = attached;
    } else if (selectors.empty()) {
        if (attached.size() > 1)
            throw UsageError{
                "several boards attached; pick one with --board ID, @PLACE or serial:SERIAL, or all "
                "with --all:"
                + listing(attached, attached)};
        targets.boards = attached;
    }
    for (std::size_t i = 0; i < selectors.size(); ++i) {
        std::vector<BoardEntry> matching;
        for (const BoardEntry& board : attached)
            if (boards::matches(selectors[i], board))
                matching.push_back(board);
        if (matching.empty() && selectors[i].kind == boards::Selector::Kind::Id)
            throw UsageError{"no board with ID " + std::to_string(selectors[i].id)
                             + "; attached:" + listing(attached, attached)};
        if (matching.empty())
            throw UsageError{"no board is " + named[i] + "; attached:" + listing(attached, attached)};
        if (matching.size() > 1)
            throw UsageError{"several boards are " + named[i] + "; pick one:" + listing(matching, attached)};
        const bool again = std::any_of(targets.boards.begin(), targets.boards.end(),
                                       [&](const BoardEntry& b) { return b.handle == matching.front().handle; });
        if (!again)
            targets.boards.push_back(matching.front());
    }
    if (targets.batch)
        sortByPlace(targets.boards);
    return targets;
}

std::unique_ptr<KoUSBDevice> chooseBoard(const Arguments& arguments)
{
    const Targets targets = chooseTargets(arguments);
    if (targets.batch)
        throw UsageError{"this command works on one board at a time"};
    return std::make_unique<KoUSBDevice>(targets.boards.front().handle);
}

void failed(KoUSBDevice& device, const std::string& what)
{
    throw Failure{what + " failed: " + latin1ToUtf8(device.GetLastError())};
}

}  // namespace cli
