// SPDX-License-Identifier: MIT
#pragma once
// The subcommands of kousb. Each takes the arguments after its name, prints
// its result on stdout and returns the exit code; it throws UsageError before
// touching a board when the arguments are wrong, and Failure when the board
// refuses.
#include "cli.h"

#include <cstdint>
#include <optional>
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
// backups.cpp
int restoreCommand(const Args& args);
int backupsCommand(const Args& args);
// doctor.cpp
int doctorCommand(const Args& args);
// bootimage.cpp
int makeBootImageCommand(const Args& args);
// identity.cpp
int setIdCommand(const Args& args);

// The --id, --name and --class options, checked as the "Identification" page
// checks them; throws UsageError naming the first one refused.
struct IdentityOptions {
    std::optional<std::int32_t> id;
    std::optional<std::string> name;  // Latin-1
    std::optional<std::uint8_t> deviceClass;
};
IdentityOptions identityOptions(const Arguments& arguments);

// Flashes `image` as flash-eeprom and restore do: the boot check, then the
// EEPROM's present content saved at `backupPath` (or under a new name in the
// backup folder), then the flash and its verification. `force` writes an
// image the check refuses and flashes when no backup can be made, saying so
// on stderr after `prefix`; `quiet` draws no progress bar. Returns the
// backup's path (empty when none was made); throws Failure with the reason.
std::string flashWithBackup(KoUSBDevice& device, const std::string& image, const std::optional<std::string>& backupPath,
                            bool force, const std::string& prefix = {}, bool quiet = false);

}  // namespace cli
