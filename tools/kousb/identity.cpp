// SPDX-License-Identifier: MIT
// set-id: the board's ID, name and class, checked as the "Identification"
// page checks them, all before the first is written.
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

int setIdCommand(const Args& args)
{
    const Arguments arguments(args, {"--board", "--id", "--name", "--class"}, {});
    arguments.expectPositional(0, 0, "");
    const IdentityOptions options = identityOptions(arguments);
    if (!options.id && !options.name && !options.deviceClass)
        throw UsageError{"set-id needs --id, --name or --class"};

    auto device = chooseBoard(boardOption(arguments));
    if (options.id && !device->WriteIDToEEPROM(*options.id))
        failed(*device, "writing the ID");
    if (options.name && !device->WriteNameToEEPROM(options.name->c_str()))
        failed(*device, "writing the name");
    if (options.deviceClass && !device->WriteDeviceClassToEEPROM(*options.deviceClass))
        failed(*device, "writing the class");
    return kExitOk;
}

}  // namespace cli
