// SPDX-License-Identifier: MIT
// list, info and watch: which boards there are, and what each says.
#include "batch.h"
#include "commands.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <poll.h>

namespace cli {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int) { g_interrupted = 1; }

}  // namespace

int listCommand(const Args& args)
{
    const Arguments arguments(args, {}, {"--json"});
    arguments.expectPositional(0, 0, "");
    const std::vector<BoardEntry> boards = attachedBoards();
    if (arguments.flag("--json")) {
        std::cout << "[";
        for (std::size_t i = 0; i < boards.size(); ++i) {
            const BoardEntry& b = boards[i];
            std::cout << (i ? "," : "") << "\n  {\"slot\": " << b.slot << ", \"id\": " << b.id
                      << ", \"name\": " << jsonString(latin1ToUtf8(b.name)) << ", \"class\": " << b.deviceClass
                      << ", \"fw\": " << b.firmwareVersion << ", \"place\": " << jsonString(b.place)
                      << ", \"serial\": " << jsonString(b.serial) << "}";
        }
        std::cout << (boards.empty() ? "]\n" : "\n]\n");
        return kExitOk;
    }
    std::cout << "slot\tid\tname\tclass\tfw\tplace\tserial\n";
    for (const BoardEntry& b : boards)
        std::cout << b.slot << '\t' << b.id << '\t' << printableBoardText(b.name) << '\t' << b.deviceClass << '\t'
                  << b.firmwareVersion << '\t' << b.place << '\t' << b.serial << '\n';
    return kExitOk;
}

// What the window's device page shows: the identity, then the board's own
// description of its endpoints and state. In a batch, a board's line holds
// its identity and serial.
int infoCommand(const Args& args)
{
    const Arguments arguments(args, {}, {"--all", "--json"}, {"--board"});
    arguments.expectPositional(0, 0, "");
    return runOnBoards(chooseTargets(arguments), arguments.flag("--json"), [](const BoardJob& job) {
        KoUSBDevice& device = job.device;
        const std::string name = printableBoardText(device.GetName());
        const std::string endpoints = latin1ToUtf8(device.GetEndpointInfo());
        if (endpoints.empty())
            failed(device, "reading the board");
        BoardResult result;
        result.output = "id: " + std::to_string(device.GetId()) + "\nname: " + name
                        + "\nclass: " + std::to_string(device.GetClass())
                        + "\nfw: " + std::to_string(device.GetFWVersion()) + "\nplace: " + device.GetPlace()
                        + "\nserial: " + device.GetSerial() + "\n" + endpoints + (endpoints.back() == '\n' ? "" : "\n");
        result.summary = "\"" + name + "\", class " + std::to_string(device.GetClass()) + ", FW "
                         + std::to_string(device.GetFWVersion()) + ", serial " + device.GetSerial();
        return result;
    });
}

// Prints "arrived slot N: ..." and "removed slot N: ..." as boards come and
// go, until SIGINT or SIGTERM (exit 0). A board replugged in the same slot
// between two looks is a new handle, so it shows as removed and arrived.
// "watching" goes to stderr once the first look is done, so that a caller
// knows from when on changes are seen.
int watchCommand(const Args& args)
{
    const Arguments arguments(args, {}, {});
    arguments.expectPositional(0, 0, "");
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);  // no SA_RESTART: poll returns EINTR
    sigaction(SIGTERM, &action, nullptr);

    attachedBoards();
    boards::Watch watch;
    const int descriptor = GetDeviceChangeDescriptor();
    std::cerr << "kousb: watching for boards; Ctrl-C stops" << std::endl;
    while (!g_interrupted) {
        pollfd watched{descriptor, POLLIN, 0};
        // Without a descriptor, ask the library twice a second.
        if (::poll(&watched, descriptor >= 0 ? 1 : 0, 500) < 0 || g_interrupted || !OnDeviceChange())
            continue;
        for (const boards::Change& change : watch.look())
            std::cout << (change.arrived ? "arrived " : "removed ") << describe(change.board) << std::endl;
    }
    return kExitOk;
}

}  // namespace cli
