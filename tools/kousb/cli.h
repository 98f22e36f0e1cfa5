#pragma once
// Shared parts of the kousb command line: arguments, errors and exit codes,
// picking the board, and text conversions.
#include "KoUSBLib.h"
#include "latin1.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the board refused or failed
constexpr int kExitUsage = 2;   // bad usage; nothing was touched

// Thrown for bad usage: main prints the text and a short usage, exit 2.
struct UsageError {
    std::string message;
};
// Thrown when the board refuses or fails: main prints the one-line reason, exit 1.
struct Failure {
    std::string message;
};

// One command's arguments after the command name. `--name value` options
// are those listed as taking a value, `--name` alone those listed as flags;
// "--" ends the options. Anything else starting with "--" is refused, while
// "-1" is a positional value, so negative numbers need no quoting.
class Arguments {
public:
    Arguments(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
              const std::set<std::string>& flagOptions);

    bool flag(const std::string& name) const { return m_flags.count(name) > 0; }
    std::optional<std::string> value(const std::string& name) const;
    const std::vector<std::string>& positional() const { return m_positional; }
    // Refuses positional arguments beyond `max` (and fewer than `min`).
    void expectPositional(std::size_t min, std::size_t max, const char* what) const;

private:
    std::set<std::string> m_flags;
    std::vector<std::pair<std::string, std::string>> m_values;
    std::vector<std::string> m_positional;
};

// A whole number given in decimal or with a 0x prefix in hexadecimal, from
// `min` to `max`; anything else is a UsageError naming `what`.
long long integerArgument(const std::string& what, const std::string& text, long long min, long long max);

// One attached board as the list shows it.
struct BoardEntry {
    int slot = 0;
    void* handle = nullptr;
    int id = 0;
    std::string name;  // Latin-1, as the board gives it
    int deviceClass = 0;
    int firmwareVersion = 0;
};

// Starts the library and lists the attached boards in slot order.
std::vector<BoardEntry> attachedBoards();

// The board to work on: the one whose ID is `boardId`, or the only one
// attached. Several attached and none named is a UsageError that lists
// them; none attached, or none with that ID, is a Failure.
std::unique_ptr<KoUSBDevice> chooseBoard(const std::optional<int>& boardId);

// Throws Failure with "WHAT failed: REASON" from the device's last error.
[[noreturn]] void failed(KoUSBDevice& device, const std::string& what);

inline std::string latin1ToUtf8(const std::string& text) { return kousb::latin1::toUtf8(text); }
// Board text (Latin-1) for a line of output: UTF-8, with control characters
// written as \xNN, so that a name holding a newline or a tab written into
// the EEPROM cannot break the line-and-tab layout a script reads.
std::string printableBoardText(const std::string& latin1);

// One line describing a board: "slot 0: ID 1, \"Demo board A\", class 1, FW 3".
std::string describe(const BoardEntry& board);

} // namespace cli
