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
    out << "usage: kousb [--board ID] COMMAND [ARGS]\n"
           "\n"
           "  list [--json]                          the attached boards\n"
           "  info                                   identity, place, endpoints and state of a board\n"
           "  read MODE [--addr N] [--size N] [--hex]\n"
           "  write MODE [--addr N] [--hex] VALUE... up to 16 bytes\n"
           "  bench [--csv]                          block write and read rates, MB/s\n"
           "  load-fpga FILE                         configure the FPGA from a .bit file\n"
           "  load-controller [FILE]                 load controller firmware (.bix or .hex; no FILE: ours)\n"
           "  flash-eeprom FILE [--backup OUT.hex] [--force]\n"
           "                                         flash and verify an Intel HEX image, after\n"
           "                                         checking it boots and saving the EEPROM\n"
           "  dump-eeprom OUT.hex                    save the EEPROM as Intel HEX\n"
           "  restore [FILE] [--force]               write a backup back (no FILE: the newest of\n"
           "                                         the board, by its ID and place)\n"
           "  backups                                the EEPROM backups kept before each flash\n"
           "  make-boot-image FIRMWARE.ihx OUT.hex [--id N] [--name TEXT] [--class N]\n"
           "                                         an EEPROM image that boots the firmware\n"
           "  set-id [--id N] [--name TEXT] [--class N]\n"
           "  watch                                  one line per arrival or removal\n"
           "  doctor                                 can each board be used from here; what fixes it\n"
           "  --version                              print the version\n"
           "\n"
           "MODE: External, FPGA, Block, I2C, Command, Controller, Interrupt, SPI, UART\n"
           "(any case). --board ID may be left out when one board is attached.\n"
           "--force writes an image the boot check refuses and flashes without a backup when\n"
           "none can be made. Backups: $XDG_DATA_HOME/usb-device-manager/backups.\n"
           "Exit codes: 0 done, 1 the board refused or failed, 2 bad usage.\n";
}

int run(std::vector<std::string> args)
{
    // A --board before the command moves after it, where each command takes it.
    const std::vector<std::string> global = takeLeadingOptions(args, {"--board"});
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
            err << "usage: kousb [--board ID] COMMAND [ARGS]; 'kousb --help' lists the commands\n";
        });
}
