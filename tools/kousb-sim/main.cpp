// kousb-sim: plug, unplug, list and inspect simulated boards.
//
// Boards are files in one folder (see usage()); any program using the board
// library sees a board appear or go as soon as its file does.

#include "eepromlayout.h"
#include "latin1.h"
#include "sim/atomicfile.h"
#include "sim/boardfile.h"
#include "sim/simdirectory.h"
#include "udmversion.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace kousb;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxSlot = 255;

void usage(std::ostream& out)
{
    out << "usage: kousb-sim [--dir DIR] COMMAND [ARGS]\n"
           "\n"
           "  plug [--slot N] [--id N] [--name TEXT] [--class N] [--fw N] [--rate MBPS]\n"
           "                  plug a board in (lowest free slot unless --slot); prints the slot\n"
           "  unplug SLOT     unplug the board in SLOT; it waits on the shelf (DIR/unplugged)\n"
           "  replug SLOT     plug the board last unplugged from SLOT in again, EEPROM intact\n"
           "  list            one line per board: slot, ID, name, class, FW\n"
           "  show SLOT       everything the board in SLOT holds\n"
           "  demo            plug the two demo boards\n"
           "  --version       print the version\n"
           "\n"
           "Boards live in DIR, or in $KOUSB_SIM_DIR, or in $XDG_RUNTIME_DIR/kousb-sim,\n"
           "or in a per-user folder under /tmp; now: "
        << sim::defaultDirectory() << "\n";
}

struct UsageError {
    std::string message;
};

std::optional<long long> parseInteger(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0)
        return std::nullopt;
    return value;
}

long long integerArgument(const std::string& option, const std::string& text, long long min, long long max)
{
    auto value = parseInteger(text);
    if (!value || *value < min || *value > max)
        throw UsageError{option + " takes a whole number from " + std::to_string(min) + " to "
                         + std::to_string(max) + ", not '" + text + "'"};
    return *value;
}

std::string boardPath(const std::string& dir, int slot)
{
    return dir + "/" + sim::boardFileName(slot);
}

bool fileExists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

std::map<int, sim::BoardState> readBoards(const std::string& dir)
{
    std::map<int, sim::BoardState> boards;
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return boards;
    while (dirent* entry = ::readdir(d)) {
        const int slot = sim::slotFromFileName(entry->d_name);
        if (slot < 0)
            continue;
        std::string text, error;
        sim::BoardState state;
        const std::string path = dir + "/" + entry->d_name;
        if (sim::readSmallFile(path, sim::kMaxBoardFileBytes, text, error)
            && sim::parseBoardFile(text, state, error))
            boards.emplace(slot, std::move(state));
        else
            std::cerr << "kousb-sim: skipping " << path << ": " << error << "\n";
    }
    ::closedir(d);
    return boards;
}

struct PlugOptions {
    int slot = -1;
    std::int32_t id = 1;
    std::string name = "Simulated board";
    std::uint8_t deviceClass = 0;
    std::uint16_t firmwareVersion = 1;
    double rate = 24.0;
};

int plug(const std::string& dir, const PlugOptions& options)
{
    std::string error;
    if (!sim::ensureDirectory(dir, error)) {
        std::cerr << "kousb-sim: " << error << "\n";
        return kExitFailed;
    }
    sim::BoardState state = sim::blankBoard();
    state.instance = sim::newInstanceId();
    state.bulkRateMBps = options.rate;
    state.fpgaDesign = "kousb_sim.ncd";
    state.controllerFirmware = "KoUSB firmware " + std::to_string(options.firmwareVersion);
    eeprom::writeId(state.eeprom, options.id);
    eeprom::writeClass(state.eeprom, options.deviceClass);
    eeprom::writeFirmwareVersion(state.eeprom, options.firmwareVersion);
    eeprom::writeName(state.eeprom, options.name);

    for (int slot = options.slot < 0 ? 0 : options.slot; slot <= kMaxSlot; ++slot) {
        state.slot = slot;
        const std::string path = boardPath(dir, slot);
        if (sim::writeFileAtomic(path, sim::formatBoardFile(state), sim::WriteMode::CreateNew, true, error)) {
            std::cout << slot << "\n";
            return 0;
        }
        if (options.slot >= 0 || !fileExists(path)) {
            std::cerr << "kousb-sim: " << (fileExists(path) ? "slot " + std::to_string(slot) + " is taken" : error)
                      << "\n";
            return kExitFailed;
        }
    }
    std::cerr << "kousb-sim: every slot is taken\n";
    return kExitFailed;
}

std::string shelfPath(const std::string& dir, int slot)
{
    return dir + "/unplugged/" + sim::boardFileName(slot);
}

// An unplugged board keeps its state on the shelf, a folder the library does
// not look into, so that it can be plugged in again as the same board.
int unplug(const std::string& dir, int slot)
{
    const std::string path = boardPath(dir, slot);
    std::string error;
    if (!fileExists(path)) {
        std::cerr << "kousb-sim: no board in slot " << slot << "\n";
        return kExitFailed;
    }
    if (!sim::ensureDirectory(dir + "/unplugged", error)) {
        std::cerr << "kousb-sim: " << error << "\n";
        return kExitFailed;
    }
    if (::rename(path.c_str(), shelfPath(dir, slot).c_str()) != 0) {
        std::cerr << "kousb-sim: cannot unplug " << path << ": " << std::strerror(errno) << "\n";
        return kExitFailed;
    }
    return 0;
}

int replug(const std::string& dir, int slot)
{
    const std::string shelved = shelfPath(dir, slot);
    std::string text, error;
    sim::BoardState state;
    if (!fileExists(shelved)) {
        std::cerr << "kousb-sim: no board was unplugged from slot " << slot << "\n";
        return kExitFailed;
    }
    if (!sim::readSmallFile(shelved, sim::kMaxBoardFileBytes, text, error) || !sim::parseBoardFile(text, state, error)) {
        std::cerr << "kousb-sim: " << shelved << ": " << error << "\n";
        return kExitFailed;
    }
    // A new plugging: whoever missed the unplug still sees a new arrival.
    state.instance = sim::newInstanceId();
    if (!sim::writeFileAtomic(boardPath(dir, slot), sim::formatBoardFile(state), sim::WriteMode::CreateNew, true,
                              error)) {
        std::cerr << "kousb-sim: " << (fileExists(boardPath(dir, slot)) ? "slot " + std::to_string(slot) + " is taken" : error)
                  << "\n";
        return kExitFailed;
    }
    ::unlink(shelved.c_str());
    return 0;
}

int list(const std::string& dir)
{
    std::cout << "slot\tid\tname\tclass\tfw\n";
    for (const auto& [slot, state] : readBoards(dir)) {
        const BoardIdentity id = eeprom::readIdentity(state.eeprom);
        std::cout << slot << '\t' << id.id << '\t' << latin1::toUtf8(id.name) << '\t' << int(id.deviceClass) << '\t'
                  << id.firmwareVersion << '\n';
    }
    return 0;
}

std::string hexLine(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t count)
{
    std::string out;
    char text[4];
    for (std::size_t i = from; i < from + count && i < bytes.size(); ++i) {
        std::snprintf(text, sizeof text, "%02x", bytes[i]);
        if (!out.empty())
            out += ' ';
        out += text;
    }
    return out;
}

int show(const std::string& dir, int slot)
{
    const std::string path = boardPath(dir, slot);
    std::string text, error;
    sim::BoardState state;
    if (!fileExists(path)) {
        std::cerr << "kousb-sim: no board in slot " << slot << "\n";
        return kExitFailed;
    }
    if (!sim::readSmallFile(path, sim::kMaxBoardFileBytes, text, error) || !sim::parseBoardFile(text, state, error)) {
        std::cerr << "kousb-sim: " << path << ": " << error << "\n";
        return kExitFailed;
    }
    const BoardIdentity id = eeprom::readIdentity(state.eeprom);
    std::cout << "slot: " << state.slot << "\n"
              << "file: " << path << "\n"
              << "instance: " << state.instance << "\n"
              << "id: " << id.id << "\n"
              << "name: " << latin1::toUtf8(id.name) << "\n"
              << "class: " << int(id.deviceClass) << "\n"
              << "fw: " << id.firmwareVersion << "\n"
              << "bulk rate: " << state.bulkRateMBps << " Mbyte/s\n"
              << "fpga: " << state.fpgaPart << ", "
              << (state.fpgaDesign.empty() ? "not configured" : "configured with " + state.fpgaDesign) << "\n"
              << "controller firmware: "
              << (state.controllerFirmware.empty() ? "none (boot loader)" : state.controllerFirmware) << "\n";
    std::cout << "last writes:" << (state.lastWrites.empty() ? " none" : "") << "\n";
    for (const auto& [mode, last] : state.lastWrites)
        std::cout << "  " << mode << ": " << last.length << " bytes: " << hexLine(last.head, 0, last.head.size())
                  << (last.length > last.head.size() ? " ..." : "") << "\n";
    std::cout << "eeprom (rows not erased):\n";
    for (std::size_t offset = 0; offset < state.eeprom.size(); offset += 16) {
        bool erased = true;
        for (std::size_t i = offset; i < offset + 16 && i < state.eeprom.size(); ++i)
            erased = erased && state.eeprom[i] == eeprom::kErased;
        if (erased)
            continue;
        char at[24];
        std::snprintf(at, sizeof at, "%04zx", offset);
        std::cout << "  " << at << ": " << hexLine(state.eeprom, offset, 16) << "\n";
    }
    return 0;
}

int demo(const std::string& dir)
{
    PlugOptions first;
    first.id = 1;
    first.name = "Demo board A";
    first.deviceClass = 1;
    first.firmwareVersion = 3;
    PlugOptions second;
    second.id = 2;
    second.name = "Demo board B";
    second.deviceClass = 2;
    second.firmwareVersion = 3;
    second.rate = 16.0;
    if (int rc = plug(dir, first))
        return rc;
    return plug(dir, second);
}

int run(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string dir = sim::defaultDirectory();
    std::size_t i = 0;
    if (i < args.size() && (args[i] == "--help" || args[i] == "-h")) {
        usage(std::cout);
        return 0;
    }
    if (i < args.size() && args[i] == "--version") {
        std::cout << "kousb-sim " UDM_VERSION "\n";
        return 0;
    }
    if (i < args.size() && args[i] == "--dir") {
        if (i + 1 >= args.size() || args[i + 1].empty())
            throw UsageError{"--dir needs a folder"};
        dir = args[i + 1];
        i += 2;
    }
    if (i >= args.size())
        throw UsageError{"no command"};
    const std::string command = args[i++];
    auto slotArgument = [&]() {
        if (i >= args.size())
            throw UsageError{command + " needs a slot number"};
        const int slot = static_cast<int>(integerArgument("SLOT", args[i++], 0, kMaxSlot));
        if (i < args.size())
            throw UsageError{"unexpected argument '" + args[i] + "'"};
        return slot;
    };

    if (command == "plug") {
        PlugOptions options;
        while (i < args.size()) {
            const std::string option = args[i++];
            if (i >= args.size())
                throw UsageError{option == "--slot" || option == "--id" || option == "--name" || option == "--class"
                                         || option == "--fw" || option == "--rate"
                                     ? option + " needs a value"
                                     : "unknown option '" + option + "'"};
            const std::string value = args[i++];
            if (option == "--slot") {
                options.slot = static_cast<int>(integerArgument(option, value, 0, kMaxSlot));
            } else if (option == "--id") {
                options.id = static_cast<std::int32_t>(integerArgument(option, value, INT32_MIN, INT32_MAX));
            } else if (option == "--class") {
                options.deviceClass = static_cast<std::uint8_t>(integerArgument(option, value, 0, 255));
            } else if (option == "--fw") {
                options.firmwareVersion = static_cast<std::uint16_t>(integerArgument(option, value, 0, 65535));
            } else if (option == "--name") {
                auto name = latin1::fromUtf8(value);
                if (!name)
                    throw UsageError{"--name takes Latin-1 characters only"};
                if (name->size() > eeprom::kMaxNameLength)
                    throw UsageError{"--name takes at most " + std::to_string(eeprom::kMaxNameLength)
                                     + " characters"};
                options.name = *name;
            } else if (option == "--rate") {
                errno = 0;
                char* end = nullptr;
                const double rate = std::strtod(value.c_str(), &end);
                if (value.empty() || *end != '\0' || errno != 0 || !(rate > 0) || rate > 1000)
                    throw UsageError{"--rate takes Mbyte/s above 0 and at most 1000, not '" + value + "'"};
                options.rate = rate;
            } else {
                throw UsageError{"unknown option '" + option + "'"};
            }
        }
        return plug(dir, options);
    }
    if (command == "unplug")
        return unplug(dir, slotArgument());
    if (command == "replug")
        return replug(dir, slotArgument());
    if (command == "show")
        return show(dir, slotArgument());
    if (command == "list" || command == "demo") {
        if (i < args.size())
            throw UsageError{"unexpected argument '" + args[i] + "'"};
        return command == "list" ? list(dir) : demo(dir);
    }
    throw UsageError{"unknown command '" + command + "'"};
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "kousb-sim: " << e.message << "\n\n";
        usage(std::cerr);
        return kExitUsage;
    }
}
