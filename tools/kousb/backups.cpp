// SPDX-License-Identifier: MIT
// restore and backups: the EEPROM backups flash-eeprom (and the window)
// keep before every flash, listed and written back.
#include "commands.h"

#include "eeprombackups.h"

#include <iostream>

namespace cli {

namespace {

// "20250102-101112" as "2025-01-02 10:11:12".
std::string readableTime(const std::string& stamp)
{
    return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + " " + stamp.substr(9, 2) + ":"
           + stamp.substr(11, 2) + ":" + stamp.substr(13, 2);
}

std::string describe(const backups::Backup& backup)
{
    return readableTime(backup.time) + "  ID " + std::to_string(backup.id) + " at " + backup.place + "  " + backup.path;
}

// The newest backup of the board `device` is bound to (same ID, same place).
std::string newestBackupOf(KoUSBDevice& device)
{
    const std::int32_t id = device.GetId();
    const std::string place = device.GetPlace();
    const std::string folder = backups::folder();
    const backups::Candidates found = backups::candidates(backups::list(folder), id, place);
    if (!found.exact.empty())
        return found.exact.back().path;
    const std::string board = "board ID " + std::to_string(id) + " at " + place;
    if (found.related.empty())
        throw Failure{"no backup of " + board + " in " + folder};
    std::string text = "no backup of " + board + "; backups of its ID or its place (name one as FILE):";
    for (const backups::Backup& backup : found.related)
        text += "\n  " + describe(backup);
    throw UsageError{text};
}

}  // namespace

// Writes a backup back, verified like any flash, after saving what the
// EEPROM holds now (so a restore can itself be undone).
int restoreCommand(const Args& args)
{
    const Arguments arguments(args, {}, {"--force"}, {"--board"});
    arguments.expectPositional(0, 1, "FILE");
    if (!arguments.positional().empty() && arguments.positional()[0].empty())
        throw UsageError{"FILE is empty"};
    auto device = chooseBoard(arguments);
    const std::string file = arguments.positional().empty() ? newestBackupOf(*device) : arguments.positional()[0];
    flashWithBackup(*device, file, std::nullopt, arguments.flag("--force"));
    std::cout << "restored " << file << "\n";
    return kExitOk;
}

int backupsCommand(const Args& args)
{
    const Arguments arguments(args, {}, {});
    arguments.expectPositional(0, 0, "");
    std::cout << "id\tplace\tmade\tfile\n";
    for (const backups::Backup& backup : backups::list(backups::folder()))
        std::cout << backup.id << '\t' << backup.place << '\t' << readableTime(backup.time) << '\t' << backup.path
                  << '\n';
    return kExitOk;
}

}  // namespace cli
