// SPDX-License-Identifier: MIT
// load-fpga, load-controller, flash-eeprom and dump-eeprom: files to and
// from the board; load-controller without a file loads our board firmware.
// The EEPROM is saved as Intel HEX holding every byte, so a saved file
// flashed back restores the EEPROM exactly.
#include "batch.h"
#include "commands.h"

#include "bootcheck.h"
#include "eeprombackups.h"
#include "eepromread.h"
#include "firmwareimage.h"
#include "formats/intelhex.h"
#include "progress.h"

#include <iostream>

#include <unistd.h>

#include <vector>

namespace cli {

namespace {

std::string fileArgument(const Arguments& arguments, const char* what)
{
    arguments.expectPositional(1, 1, what);
    const std::string& path = arguments.positional()[0];
    if (path.empty())
        throw UsageError{std::string(what) + " is empty"};
    return path;
}

// Reads the whole EEPROM and saves it at `path`.
void saveEeprom(KoUSBDevice& device, const std::string& path, const char* label, bool quiet)
{
    std::vector<unsigned char> image;
    {
        ProgressBar progress(label, quiet);
        if (!readWholeEeprom(device, image, [&](long long done, long long total) { progress.update(done, total); }))
            failed(device, "reading the EEPROM");
    }
    if (kousb::Status s = kousb::formats::writeIntelHexFile(path, image.data(), image.size()); !s)
        throw Failure{"saving the EEPROM to " + path + " failed: " + s.message()};
}

// Our board firmware as installed beside this program
// (PREFIX/share/usb-device-manager/firmware), or in the build tree when the
// program runs from there.
std::string installedFirmware()
{
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string program = n > 0 ? std::string(exe, std::size_t(n)) : std::string();
    const std::string path = findFirmwareImage(program);
    if (path.empty())
        throw Failure{std::string("no installed board firmware found (looked for PREFIX/") + kInstalledFirmware
                      + " above " + program + "); name a FILE"};
    return path;
}

}  // namespace

int loadFpgaCommand(const Args& args)
{
    const Arguments arguments(args, {}, {"--all", "--json"}, {"--board"});
    const std::string path = fileArgument(arguments, "FILE");
    return runOnBoards(chooseTargets(arguments), arguments.flag("--json"), [&](const BoardJob& job) {
        if (!job.device.DownloadXilinx(path.c_str()))
            failed(job.device, "loading the FPGA from " + path);
        return BoardResult{"", "configured from " + path};
    });
}

// A board that re-enumerates when its new firmware starts is waited for at
// its place (--wait seconds, 10 by default); in a batch every board's wait
// runs at once, on its own thread.
int loadControllerCommand(const Args& args)
{
    const Arguments arguments(args, {"--wait"}, {"--all", "--json"}, {"--board"});
    arguments.expectPositional(0, 1, "FILE");
    const double wait =
        arguments.value("--wait") ? positiveArgument("--wait", "seconds", *arguments.value("--wait"), 3600) : 10;
    const std::string path = arguments.positional().empty() ? installedFirmware() : fileArgument(arguments, "FILE");
    return runOnBoards(chooseTargets(arguments), arguments.flag("--json"), [&](const BoardJob& job) {
        if (!job.device.LoadFirmwareFromFileAndWait(path.c_str(), static_cast<int>(wait * 1000)))
            failed(job.device, "loading the controller firmware from " + path);
        return BoardResult{"", "loaded " + path + ", running at " + job.device.GetPlace()};
    });
}

std::string flashWithBackup(KoUSBDevice& device, const std::string& image, const std::optional<std::string>& backupPath,
                            bool force, const std::string& prefix, bool quiet)
{
    std::string backup;
    if (backupPath) {
        backup = *backupPath;
    } else if (std::string error;
               !backups::newBackupPath(backups::folder(), device.GetId(), device.GetPlace(), backup, error)) {
        if (!force)
            throw Failure{error + "; nothing was flashed (--force flashes without a backup)"};
        std::cerr << "kousb: " << prefix << error << "; flashing without a backup (--force)\n";
        backup.clear();
    }
    const int flags = force ? KoUSBDevice::FlashUnchecked | KoUSBDevice::FlashWithoutBackup : 0;
    bool ok = false;
    {
        ProgressBar progress("flash", quiet);
        ok = device.LoadHexFileToEepromWithBackup(image.c_str(), backup.empty() ? nullptr : backup.c_str(), flags,
                                                  &ProgressBar::hook, &progress);
    }
    if (const std::string why = device.GetBackupError(); force && !why.empty())
        std::cerr << "kousb: " << prefix << "no backup was made (" << latin1ToUtf8(why)
                  << "); flashed without one (--force)\n";
    if (!ok) {
        const std::string reason = latin1ToUtf8(device.GetLastError());
        const bool notBootable = reason.find(kousb::kNotBootable) != std::string::npos;
        throw Failure{"flashing the EEPROM from " + image + " failed: " + reason
                      + (notBootable ? " (--force writes it anyway)" : "")};
    }
    return device.GetLastBackup();
}

int flashEepromCommand(const Args& args)
{
    const Arguments arguments(args, {"--backup"}, {"--force", "--all", "--json"}, {"--board"});
    const std::string path = fileArgument(arguments, "FILE");
    const std::optional<std::string> backup = arguments.value("--backup");
    if (backup && backup->empty())
        throw UsageError{"--backup needs a file name"};
    if (backup && *backup == path)
        throw UsageError{"the backup would overwrite the image to flash"};
    const Targets targets = chooseTargets(arguments);
    if (backup)
        checkFilePattern("--backup", *backup, targets);
    return runOnBoards(targets, arguments.flag("--json"), [&](const BoardJob& job) {
        const std::optional<std::string> to =
            backup ? std::optional<std::string>(expandFilePattern(*backup, job.board)) : std::nullopt;
        if (to && *to == path)
            throw Failure{"the backup would overwrite the image to flash"};
        const std::string made =
            flashWithBackup(job.device, path, to, arguments.flag("--force"), boardPrefix(job), job.batch);
        return BoardResult{"", "flashed " + path + (made.empty() ? ", no backup" : ", backup " + made)};
    });
}

int dumpEepromCommand(const Args& args)
{
    const Arguments arguments(args, {}, {"--all", "--json"}, {"--board"});
    const std::string pattern = fileArgument(arguments, "OUT.hex");
    const Targets targets = chooseTargets(arguments);
    checkFilePattern("OUT.hex", pattern, targets);
    return runOnBoards(targets, arguments.flag("--json"), [&](const BoardJob& job) {
        const std::string path = expandFilePattern(pattern, job.board);
        saveEeprom(job.device, path, "dump", job.batch);
        return BoardResult{"", "saved " + path};
    });
}

}  // namespace cli
