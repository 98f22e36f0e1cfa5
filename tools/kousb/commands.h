#pragma once
// The subcommands of kousb. Each takes the arguments after its name, prints
// its result on stdout and returns the exit code; it throws UsageError before
// touching a board when the arguments are wrong, and Failure when the board
// refuses.
#include "cli.h"

#include <string>
#include <vector>

namespace cli {

using Args = std::vector<std::string>;

// boards.cpp
int listCommand(const Args& args);
int infoCommand(const Args& args);
int watchCommand(const Args& args);
// io.cpp
int readCommand(const Args& args);
int writeCommand(const Args& args);
// bench.cpp
int benchCommand(const Args& args);
// firmware.cpp
int loadFpgaCommand(const Args& args);
int loadControllerCommand(const Args& args);
int flashEepromCommand(const Args& args);
int dumpEepromCommand(const Args& args);
// bootimage.cpp
int makeBootImageCommand(const Args& args);
// identity.cpp
int setIdCommand(const Args& args);

// The board named by --board, if any.
std::optional<int> boardOption(const Arguments& arguments);

} // namespace cli
