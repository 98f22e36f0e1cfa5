// set-id: the board's ID, name and class, checked as the "Identification"
// page checks them, all before the first is written.
#include "commands.h"

#include "identityfields.h"

namespace cli {

int setIdCommand(const Args& args)
{
    const Arguments arguments(args, {"--board", "--id", "--name", "--class"}, {});
    arguments.expectPositional(0, 0, "");
    const auto idText = arguments.value("--id");
    const auto nameText = arguments.value("--name");
    const auto classText = arguments.value("--class");
    if (!idText && !nameText && !classText)
        throw UsageError{"set-id needs --id, --name or --class"};

    std::string reason;
    std::int32_t id = 0;
    std::string name;
    std::uint8_t deviceClass = 0;
    if ((idText && !parseIdentityId(*idText, id, reason)) || (nameText && !encodeIdentityName(*nameText, name, reason))
        || (classText && !parseIdentityClass(*classText, deviceClass, reason)))
        throw UsageError{reason};

    auto device = chooseBoard(boardOption(arguments));
    if (idText && !device->WriteIDToEEPROM(id))
        failed(*device, "writing the ID");
    if (nameText && !device->WriteNameToEEPROM(name.c_str()))
        failed(*device, "writing the name");
    if (classText && !device->WriteDeviceClassToEEPROM(deviceClass))
        failed(*device, "writing the class");
    return kExitOk;
}

} // namespace cli
