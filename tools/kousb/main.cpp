// SPDX-License-Identifier: MIT
// kousb: everything the window does to a board, from a shell.
//
// Exit codes: 0 done, 1 the board refused or failed (the reason on stderr,
// one line), 2 bad usage (a short usage text on stderr). Only results go to
// stdout, so output can be piped.
#include "commands.h"
#include "udmversion.h"

#include <iostream>
#include <map>

using namespace cli;

namespace {

void usage(std::ostream& out)
{
    out << "usage: kousb [--board BOARD]... [--all] COMMAND [ARGS]\n"
           "\n"
           "  list [--json]                          the attached boards, with place and serial\n"
           "  info                                   identity, place, serial, endpoints and state\n"
           "  read MODE [--addr N] [--size N] [--hex]\n"
           "  write MODE [--addr N] [--hex] VALUE... up to 16 bytes\n"
           "  bench [--csv]                          block write and read rates, MB/s\n"
           "  load-fpga FILE                         configure the FPGA from a .bit file\n"
           "  load-controller [FILE] [--wait S]      load controller firmware (.bix or .hex; no FILE:\n"
           "                                         ours) and wait up to S seconds (10) for the\n"
           "                                         board to come back at its place\n"
           "  flash-eeprom FILE [--backup OUT.hex] [--force]\n"
           "                                         flash and verify an Intel HEX image, after\n"
           "                                         checking it boots and saving the EEPROM\n"
           "  dump-eeprom OUT.hex                    save the EEPROM as Intel HEX\n"
           "  restore [FILE] [--force]               write a backup back (no FILE: the newest of\n"
           "                                         the board, by its ID and place)\n"
           "  backups                                the EEPROM backups kept before each flash\n"
           "  make-boot-image FIRMWARE.ihx OUT.hex [--id N] [--name TEXT] [--class N]\n"
           "                                         an EEPROM image that boots the firmware\n"
           "  set-id [--id N | --id-from N] [--name TEXT] [--class N]\n"
           "  watch                                  one line per arrival or removal\n"
           "  doctor                                 can each board be used from here; what fixes it\n"
           "  --version                              print the version\n"
           "\n"
           "BOARD: an ID (42 or 0x2A), a place (@1-2.3: bus 1, port path 2.3; @sim-2: simulated\n"
           "slot 2) or a serial (serial:KO0000002A). It may be left out when one board is attached.\n"
           "Several --board, or --all, work on the boards in parallel (info, read, write, bench,\n"
           "load-fpga, load-controller, flash-eeprom, dump-eeprom, set-id): a line per board as each\n"
           "finishes, then a summary; --json prints one object per board instead. In a batch,\n"
           "OUT.hex and --backup need a pattern with {id}, {place} or {serial}, and set-id takes\n"
           "--id-from N for consecutive IDs in place order.\n"
           "MODE: External, FPGA, Block, I2C, Command, Controller, Interrupt, SPI, UART\n"
           "(any case).\n"
           "--force writes an image the boot check refuses and flashes without a backup when\n"
           "none can be made. Backups: $XDG_DATA_HOME/usb-device-manager/backups.\n"
           "Exit codes: 0 done (every board), 1 the board (or a board) refused or failed,\n"
           "2 bad usage, or a BOARD that names no board or several.\n";
}

int run(std::vector<std::string> args)
{
    // --board and --all before the command move after it, where each command takes them.
    const std::vector<std::string> global = takeLeadingOptions(args, {"--board"}, {"--all"});
    if (args.empty())
        throw UsageError{"no command"};
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        usage(std::cout);
        return kExitOk;
    }
    if (args[0] == "--version") {
        std::cout << "kousb " UDM_VERSION "\n";
        return kExitOk;
    }
    static const std::map<std::string, int (*)(const Args&)> commands = {
        {"list", listCommand},
        {"info", infoCommand},
        {"read", readCommand},
        {"write", writeCommand},
        {"bench", benchCommand},
        {"load-fpga", loadFpgaCommand},
        {"load-controller", loadControllerCommand},
        {"flash-eeprom", flashEepromCommand},
        {"dump-eeprom", dumpEepromCommand},
        {"restore", restoreCommand},
        {"backups", backupsCommand},
        {"make-boot-image", makeBootImageCommand},
        {"set-id", setIdCommand},
        {"watch", watchCommand},
        {"doctor", doctorCommand},
    };
    const auto command = commands.find(args[0]);
    if (command == commands.end())
        throw UsageError{"unknown command '" + args[0] + "'"};
    Args rest(args.begin() + 1, args.end());
    rest.insert(rest.end(), global.begin(), global.end());
    return command->second(rest);
}

}  // namespace

int main(int argc, char** argv)
{
    return runTool(
        "kousb", [&] { return run(std::vector<std::string>(argv + 1, argv + argc)); },
        [](std::ostream& err) {
            err << "usage: kousb [--board BOARD]... [--all] COMMAND [ARGS]; 'kousb --help' lists the commands\n";
        });
}
