// set-id: the board's ID, name and class, checked as the "Identification"
// page checks them, all before the first is written.
#include "commands.h"

#include "identityfields.h"

#include <QString>

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

    QString reason;
    std::int32_t id = 0;
    QByteArray name;
    std::uint8_t deviceClass = 0;
    if ((idText && !parseIdentityId(QString::fromStdString(*idText), id, reason))
        || (nameText && !encodeIdentityName(QString::fromStdString(*nameText), name, reason))
        || (classText && !parseIdentityClass(QString::fromStdString(*classText), deviceClass, reason)))
        throw UsageError{reason.toStdString()};

    auto device = chooseBoard(boardOption(arguments));
    if (idText && !device->WriteIDToEEPROM(id))
        failed(*device, "writing the ID");
    if (nameText && !device->WriteNameToEEPROM(name.constData()))
        failed(*device, "writing the name");
    if (classText && !device->WriteDeviceClassToEEPROM(deviceClass))
        failed(*device, "writing the class");
    return kExitOk;
}

} // namespace cli
