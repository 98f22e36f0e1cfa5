// kousb-sim: plug, unplug, list and inspect simulated boards.
//
// Boards are files in one folder (see usage()); any program using the board
// library sees a board appear or go as soon as its file does.

#include "eepromlayout.h"
#include "latin1.h"
#include "sim/boardstore.h"
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

struct PlugOptions {
    int slot = -1;
    std::int32_t id = 1;
    std::string name = "Simulated board";
    std::uint8_t deviceClass = 0;
    std::uint16_t firmwareVersion = 1;
    double rate = 24.0;
};

int failed(const std::string& error)
{
    std::cerr << "kousb-sim: " << error << "\n";
    return kExitFailed;
}

int plug(const sim::BoardStore& store, const PlugOptions& options)
{
    sim::BoardState state = sim::blankBoard();
    state.bulkRateMBps = options.rate;
    state.fpgaDesign = "kousb_sim.ncd";
    state.controllerFirmware = "KoUSB firmware " + std::to_string(options.firmwareVersion);
    eeprom::writeId(state.eeprom, options.id);
    eeprom::writeClass(state.eeprom, options.deviceClass);
    eeprom::writeFirmwareVersion(state.eeprom, options.firmwareVersion);
    eeprom::writeName(state.eeprom, options.name);
    std::string error;
    const int slot = store.plug(state, options.slot, error);
    if (slot < 0)
        return failed(error);
    std::cout << slot << "\n";
    return 0;
}

// An unplugged board keeps its configuration and EEPROM on the shelf, a
// folder the library does not look into, so that it can be plugged in again
// as the same board; what it held while powered is gone.
int unplug(const sim::BoardStore& store, int slot)
{
    std::string error;
    return store.unplug(slot, error) ? 0 : failed(error);
}

int replug(const sim::BoardStore& store, int slot)
{
    std::string error;
    return store.replug(slot, error) ? 0 : failed(error);
}

int list(const sim::BoardStore& store)
{
    std::cout << "slot\tid\tname\tclass\tfw\n";
    const auto boards = store.boards([](const std::string& path, const std::string& reason) {
        std::cerr << "kousb-sim: skipping " << path << ": " << reason << "\n";
    });
    for (const auto& [slot, entry] : boards) {
        const BoardIdentity id = eeprom::readIdentity(entry.config.eeprom);
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

// What the board holds now, as every process sees it.
int show(const sim::BoardStore& store, int slot)
{
    std::string error;
    sim::BoardState state;
    if (!store.readLive(slot, state, error))
        return failed(error);
    const std::string path = store.boardPath(slot);
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

int demo(const sim::BoardStore& store)
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
    if (int rc = plug(store, first))
        return rc;
    return plug(store, second);
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

    const sim::BoardStore store(dir);
    std::string error;
    if (!store.check(error))
        return failed(error);

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
        return plug(store, options);
    }
    if (command == "unplug")
        return unplug(store, slotArgument());
    if (command == "replug")
        return replug(store, slotArgument());
    if (command == "show")
        return show(store, slotArgument());
    if (command == "list" || command == "demo") {
        if (i < args.size())
            throw UsageError{"unexpected argument '" + args[i] + "'"};
        return command == "list" ? list(store) : demo(store);
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
