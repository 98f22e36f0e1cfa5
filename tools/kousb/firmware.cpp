// load-fpga, load-controller, flash-eeprom and dump-eeprom: files to and
// from the board. The EEPROM is saved as Intel HEX holding every byte, so a
// saved file flashed back restores the EEPROM exactly.
#include "commands.h"

#include "formats/intelhex.h"
#include "progress.h"

#include <algorithm>
#include <vector>

namespace cli {

namespace {

// Bytes per EEPROM read, small enough for the bar to move.
constexpr int kReadChunk = 1024;

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
    const int size = device.GetEEPROMSize();
    if (size <= 0)
        throw Failure{"reading the EEPROM failed: this board cannot read its EEPROM back"};
    std::vector<unsigned char> image(static_cast<std::size_t>(size));
    {
        ProgressBar progress(label);
        for (int at = 0; at < size; at += kReadChunk) {
            progress.update(at, size);
            if (!device.ReadEEPROM(at, image.data() + at, std::min(kReadChunk, size - at)))
                failed(device, "reading the EEPROM");
        }
        progress.update(size, size);
    }
    if (kousb::Status s = kousb::formats::writeIntelHexFile(path, image.data(), image.size()); !s)
        throw Failure{"saving the EEPROM to " + path + " failed: " + s.message()};
}

} // namespace

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
    const std::string path = fileArgument(arguments, "FILE");
    auto device = chooseBoard(boardOption(arguments));
    if (!device->LoadFirmwareFromFile(path.c_str()))
        failed(*device, "loading the controller firmware from " + path);
    return kExitOk;
}

// With --backup the EEPROM is saved first; if that fails nothing is flashed.
int flashEepromCommand(const Args& args)
{
    const Arguments arguments(args, {"--board", "--backup"}, {});
    const std::string path = fileArgument(arguments, "FILE");
    const std::optional<std::string> backup = arguments.value("--backup");
    if (backup && backup->empty())
        throw UsageError{"--backup needs a file name"};
    if (backup && *backup == path)
        throw UsageError{"the backup would overwrite the image to flash"};
    auto device = chooseBoard(boardOption(arguments));
    if (backup)
        saveEeprom(*device, *backup, "backup");
    ProgressBar progress("flash");
    if (!device->LoadHexFileToEepromWithProgress(path.c_str(), &ProgressBar::hook, &progress))
        failed(*device, "flashing the EEPROM from " + path);
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

} // namespace cli
