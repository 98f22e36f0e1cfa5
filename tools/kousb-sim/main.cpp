// SPDX-License-Identifier: MIT
// kousb-sim: plug, unplug, list and inspect simulated boards.
//
// Boards are files in one folder (see usage()); any program using the board
// library sees a board appear or go as soon as its file does.

#include "arguments.h"
#include "eepromlayout.h"
#include "latin1.h"
#include "sim/boardstore.h"
#include "sim/simdirectory.h"
#include "udmversion.h"

#include <climits>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace kousb;

namespace {

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

struct PlugOptions {
    int slot = -1;
    std::int32_t id = 1;
    std::string name = "Simulated board";
    std::uint8_t deviceClass = 0;
    std::uint16_t firmwareVersion = 1;
    double rate = 24.0;
};

void plug(const sim::BoardStore& store, const PlugOptions& options)
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
        throw cli::Failure{error};
    std::cout << slot << "\n";
}

// An unplugged board keeps its configuration and EEPROM on the shelf, a
// folder the library does not look into, so that it can be plugged in again
// as the same board; what it held while powered is gone.
void unplug(const sim::BoardStore& store, int slot)
{
    std::string error;
    if (!store.unplug(slot, error))
        throw cli::Failure{error};
}

void replug(const sim::BoardStore& store, int slot)
{
    std::string error;
    if (!store.replug(slot, error))
        throw cli::Failure{error};
}

void list(const sim::BoardStore& store)
{
    std::cout << "slot\tid\tname\tclass\tfw\n";
    const auto boards = store.boards([](const std::string& path, const std::string& reason) {
        std::cerr << "kousb-sim: skipping " << path << ": " << reason << "\n";
    });
    for (const auto& [slot, entry] : boards) {
        const BoardIdentity id = eeprom::readIdentity(entry.config.eeprom);
        std::cout << slot << '\t' << id.id << '\t' << latin1::toPrintableUtf8(id.name) << '\t' << int(id.deviceClass)
                  << '\t' << id.firmwareVersion << '\n';
    }
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
void show(const sim::BoardStore& store, int slot)
{
    std::string error;
    sim::BoardState state;
    if (!store.readLive(slot, state, error))
        throw cli::Failure{error};
    const std::string path = store.boardPath(slot);
    const BoardIdentity id = eeprom::readIdentity(state.eeprom);
    std::cout << "slot: " << state.slot << "\n"
              << "file: " << path << "\n"
              << "instance: " << state.instance << "\n"
              << "id: " << id.id << "\n"
              << "name: " << latin1::toPrintableUtf8(id.name) << "\n"
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
}

void demo(const sim::BoardStore& store)
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
    plug(store, first);
    plug(store, second);
}

PlugOptions plugOptions(const cli::Arguments& arguments)
{
    using cli::integerArgument;
    arguments.expectPositional(0, 0, "");
    PlugOptions options;
    if (const auto text = arguments.value("--slot"))
        options.slot = static_cast<int>(integerArgument("--slot", *text, 0, kMaxSlot));
    if (const auto text = arguments.value("--id"))
        options.id = static_cast<std::int32_t>(integerArgument("--id", *text, INT32_MIN, INT32_MAX));
    if (const auto text = arguments.value("--class"))
        options.deviceClass = static_cast<std::uint8_t>(integerArgument("--class", *text, 0, 255));
    if (const auto text = arguments.value("--fw"))
        options.firmwareVersion = static_cast<std::uint16_t>(integerArgument("--fw", *text, 0, 65535));
    if (const auto text = arguments.value("--name")) {
        auto name = latin1::fromUtf8(*text);
        if (!name)
            throw cli::UsageError{"--name takes Latin-1 characters only"};
        if (name->size() > eeprom::kMaxNameLength)
            throw cli::UsageError{"--name takes at most " + std::to_string(eeprom::kMaxNameLength) + " characters"};
        options.name = *name;
    }
    if (const auto text = arguments.value("--rate"))
        options.rate = cli::positiveArgument("--rate", "Mbyte/s", *text, 1000);
    return options;
}

using Work = std::function<void(const sim::BoardStore&)>;

// What `command` is to do with the board folder, from its arguments, all of
// them checked before the folder is touched.
Work commandWork(const std::string& command, const std::vector<std::string>& args)
{
    using SlotCommand = void (*)(const sim::BoardStore&, int);
    static const std::map<std::string, SlotCommand> slotCommands = {
        {"unplug", unplug}, {"replug", replug}, {"show", show}};
    static const std::map<std::string, Work> plainCommands = {{"list", list}, {"demo", demo}};
    if (command == "plug") {
        const PlugOptions options =
            plugOptions(cli::Arguments(args, {"--slot", "--id", "--name", "--class", "--fw", "--rate"}, {}));
        return [options](const sim::BoardStore& store) { plug(store, options); };
    }
    if (const auto it = slotCommands.find(command); it != slotCommands.end()) {
        const cli::Arguments arguments(args, {}, {});
        if (arguments.positional().empty())
            throw cli::UsageError{command + " needs a slot number"};
        arguments.expectPositional(1, 1, "SLOT");
        const int slot = static_cast<int>(cli::integerArgument("SLOT", arguments.positional()[0], 0, kMaxSlot));
        return [call = it->second, slot](const sim::BoardStore& store) { call(store, slot); };
    }
    if (const auto it = plainCommands.find(command); it != plainCommands.end()) {
        cli::Arguments(args, {}, {}).expectPositional(0, 0, "");
        return it->second;
    }
    throw cli::UsageError{"unknown command '" + command + "'"};
}

int run(std::vector<std::string> args)
{
    const cli::Arguments leading(cli::takeLeadingOptions(args, {"--dir"}), {"--dir"}, {});
    if (args.empty())
        throw cli::UsageError{"no command"};
    if (args[0] == "--help" || args[0] == "-h") {
        usage(std::cout);
        return cli::kExitOk;
    }
    if (args[0] == "--version") {
        std::cout << "kousb-sim " UDM_VERSION "\n";
        return cli::kExitOk;
    }
    const std::string dir = leading.value("--dir").value_or(sim::defaultDirectory());
    if (dir.empty())
        throw cli::UsageError{"--dir needs a folder"};
    const Work work = commandWork(args[0], std::vector<std::string>(args.begin() + 1, args.end()));

    const sim::BoardStore store(dir);
    std::string error;
    if (!store.check(error))
        throw cli::Failure{error};
    work(store);
    return cli::kExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    return cli::runTool(
        "kousb-sim", [&] { return run(std::vector<std::string>(argv + 1, argv + argc)); },
        [](std::ostream& err) {
            err << "\n";
            usage(err);
        });
}
