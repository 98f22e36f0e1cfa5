// SPDX-License-Identifier: MIT
// load-fpga, load-controller, flash-eeprom and dump-eeprom: files to and
// from the board; load-controller without a file loads our board firmware.
// The EEPROM is saved as Intel HEX holding every byte, so a saved file
// flashed back restores the EEPROM exactly.
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
void saveEeprom(KoUSBDevice& device, const std::string& path, const char* label)
{
    std::vector<unsigned char> image;
    {
        ProgressBar progress(label);
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
    const Arguments arguments(args, {"--board"}, {});
    const std::string path = fileArgument(arguments, "FILE");
    auto device = chooseBoard(boardOption(arguments));
    if (!device->DownloadXilinx(path.c_str()))
        failed(*device, "loading the FPGA from " + path);
    return kExitOk;
}

int loadControllerCommand(const Args& args)
{
    const Arguments arguments(args, {"--board"}, {});
    arguments.expectPositional(0, 1, "FILE");
    const std::string path = arguments.positional().empty() ? installedFirmware() : fileArgument(arguments, "FILE");
    auto device = chooseBoard(boardOption(arguments));
    if (!device->LoadFirmwareFromFile(path.c_str()))
        failed(*device, "loading the controller firmware from " + path);
    return kExitOk;
}

void flashWithBackup(KoUSBDevice& device, const std::string& image, const std::optional<std::string>& backupPath,
                     bool force)
{
    std::string backup;
    if (backupPath) {
        backup = *backupPath;
    } else if (std::string error;
               !backups::newBackupPath(backups::folder(), device.GetId(), device.GetPlace(), backup, error)) {
        if (!force)
            throw Failure{error + "; nothing was flashed (--force flashes without a backup)"};
        std::cerr << "kousb: " << error << "; flashing without a backup (--force)\n";
        backup.clear();
    }
    const int flags = force ? KoUSBDevice::FlashUnchecked | KoUSBDevice::FlashWithoutBackup : 0;
    bool ok = false;
    {
        ProgressBar progress("flash");
        ok = device.LoadHexFileToEepromWithBackup(image.c_str(), backup.empty() ? nullptr : backup.c_str(), flags,
                                                  &ProgressBar::hook, &progress);
    }
    if (const std::string why = device.GetBackupError(); force && !why.empty())
        std::cerr << "kousb: no backup was made (" << latin1ToUtf8(why) << "); flashed without one (--force)\n";
    if (!ok) {
        const std::string reason = latin1ToUtf8(device.GetLastError());
        const bool notBootable = reason.find(kousb::kNotBootable) != std::string::npos;
        throw Failure{"flashing the EEPROM from " + image + " failed: " + reason
                      + (notBootable ? " (--force writes it anyway)" : "")};
    }
}

int flashEepromCommand(const Args& args)
{
    const Arguments arguments(args, {"--board", "--backup"}, {"--force"});
    const std::string path = fileArgument(arguments, "FILE");
    const std::optional<std::string> backup = arguments.value("--backup");
    if (backup && backup->empty())
        throw UsageError{"--backup needs a file name"};
    if (backup && *backup == path)
        throw UsageError{"the backup would overwrite the image to flash"};
    auto device = chooseBoard(boardOption(arguments));
    flashWithBackup(*device, path, backup, arguments.flag("--force"));
    return kExitOk;
}

int dumpEepromCommand(const Args& args)
{
    const Arguments arguments(args, {"--board"}, {});
    const std::string path = fileArgument(arguments, "OUT.hex");
    auto device = chooseBoard(boardOption(arguments));
    saveEeprom(*device, path, "dump");
    return kExitOk;
}

}  // namespace cli
