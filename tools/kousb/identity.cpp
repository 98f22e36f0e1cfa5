// SPDX-License-Identifier: MIT
// set-id: the board's ID, name and class, checked as the "Identification"
// page checks them, all before the first is written.
#include "batch.h"
#include "commands.h"

#include "identityfields.h"

namespace cli {

IdentityOptions identityOptions(const Arguments& arguments)
{
    IdentityOptions options;
    std::string reason;
    if (const auto text = arguments.value("--id")) {
        std::int32_t id = 0;
        if (!parseIdentityId(*text, id, reason))
            throw UsageError{reason};
        options.id = id;
    }
    if (const auto text = arguments.value("--name")) {
        std::string name;
        if (!encodeIdentityName(*text, name, reason))
            throw UsageError{reason};
        options.name = name;
    }
    if (const auto text = arguments.value("--class")) {
        std::uint8_t deviceClass = 0;
        if (!parseIdentityClass(*text, deviceClass, reason))
            throw UsageError{reason};
        options.deviceClass = deviceClass;
    }
    return options;
}

// In a batch --id-from N gives the boards N, N+1, ... in place order; a
// plain --id would give every board the same ID and is refused.
int setIdCommand(const Args& args)
{
    const Arguments arguments(args, {"--id", "--id-from", "--name", "--class"}, {"--all", "--json"}, {"--board"});
    arguments.expectPositional(0, 0, "");
    const IdentityOptions options = identityOptions(arguments);
    std::optional<std::int32_t> firstId;
    if (const auto text = arguments.value("--id-from")) {
        if (options.id)
            throw UsageError{"--id and --id-from together"};
        std::int32_t id = 0;
        std::string reason;
        if (!parseIdentityId(*text, id, reason))
            throw UsageError{"--id-from: " + reason};
        firstId = id;
    }
    if (!options.id && !firstId && !options.name && !options.deviceClass)
        throw UsageError{"set-id needs --id, --id-from, --name or --class"};

    const Targets targets = chooseTargets(arguments);
    if (targets.batch && options.id && targets.boards.size() > 1)
        throw UsageError{"--id would give " + std::to_string(targets.boards.size())
                         + " boards the same ID; --id-from N numbers them in place order"};
    if (firstId && std::int64_t(*firstId) + std::int64_t(targets.boards.size()) - 1 > INT32_MAX)
        throw UsageError{"--id-from " + std::to_string(*firstId) + " runs beyond the largest ID"};
    return runOnBoards(targets, arguments.flag("--json"), [&](const BoardJob& job) {
        KoUSBDevice& device = job.device;
        const std::optional<std::int32_t> id =
            firstId ? std::optional<std::int32_t>(*firstId + std::int32_t(job.index)) : options.id;
        if (id && !device.WriteIDToEEPROM(*id))
            failed(device, "writing the ID");
        if (options.name && !device.WriteNameToEEPROM(options.name->c_str()))
            failed(device, "writing the name");
        if (options.deviceClass && !device.WriteDeviceClassToEEPROM(*options.deviceClass))
            failed(device, "writing the class");
        return BoardResult{"", "ID " + std::to_string(device.GetId()) + ", \"" + printableBoardText(device.GetName())
                                   + "\", class " + std::to_string(device.GetClass())};
    });
}

}  // namespace cli
