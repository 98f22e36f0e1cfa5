// SPDX-License-Identifier: MIT
#include "cli.h"

#include "sim/boardstore.h"

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

std::string describe(const BoardEntry& board)
{
    return "slot " + std::to_string(board.slot) + ": ID " + std::to_string(board.id) + ", \""
           + printableBoardText(board.name) + "\", class " + std::to_string(board.deviceClass) + ", FW "
           + std::to_string(board.firmwareVersion);
}

namespace {

std::string listing(const std::vector<BoardEntry>& boards)
{
    std::string text;
    for (const BoardEntry& board : boards)
        text += "\n  " + describe(board);
    return text;
}

}  // namespace

std::unique_ptr<KoUSBDevice> chooseBoard(const std::optional<int>& boardId)
{
    const std::vector<BoardEntry> boards = attachedBoards();
    std::vector<BoardEntry> matching;
    for (const BoardEntry& board : boards)
        if (!boardId || board.id == *boardId)
            matching.push_back(board);
    if (boards.empty())
        throw Failure{"no board attached"};
    if (boardId && matching.empty())
        throw Failure{"no board with ID " + std::to_string(*boardId) + "; attached:" + listing(boards)};
    if (matching.size() > 1) {
        if (!boardId)
            throw UsageError{"several boards attached; pick one with --board ID:" + listing(boards)};
        throw Failure{"several boards have ID " + std::to_string(*boardId)
                      + "; give one a new ID with set-id:" + listing(matching)};
    }
    return std::make_unique<KoUSBDevice>(matching.front().handle);
}

void failed(KoUSBDevice& device, const std::string& what)
{
    throw Failure{what + " failed: " + latin1ToUtf8(device.GetLastError())};
}

}  // namespace cli
