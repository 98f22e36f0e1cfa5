// SPDX-License-Identifier: MIT
#pragma once
// The command-line reader kousb and kousb-sim share: options and positional
// arguments, numbers, and how bad usage and failures end a run (message on
// stderr, exit code). Plain C++17.
#include <functional>
#include <iosfwd>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the board refused or failed
constexpr int kExitUsage = 2;   // bad usage; nothing was touched

// Thrown for bad usage: runTool prints the text and a short usage, exit 2.
struct UsageError {
    std::string message;
};
// Thrown when the work fails: runTool prints the one-line reason, exit 1.
struct Failure {
    std::string message;  // empty: the reason has been printed already
};

// One command's arguments after the command name. `--name value` options
// are those listed as taking a value (given at most once) or as repeatable
// (given any number of times), `--name` alone those listed as flags; "--"
// ends the options. Anything else starting with "--" is refused, while "-1"
// is a positional value, so negative numbers need no quoting.
class Arguments {
public:
    Arguments(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
              const std::set<std::string>& flagOptions, const std::set<std::string>& repeatableOptions = {});

    bool flag(const std::string& name) const { return m_flags.count(name) > 0; }
    // The value of a once-only option, or the first of a repeatable one.
    std::optional<std::string> value(const std::string& name) const;
    // Every value given to `name`, in the order given.
    std::vector<std::string> values(const std::string& name) const;
    const std::vector<std::string>& positional() const { return m_positional; }
    // Refuses fewer positional arguments than `min` ("missing WHAT") and
    // more than `max`.
    void expectPositional(std::size_t min, std::size_t max, const char* what) const;

private:
    std::set<std::string> m_flags;
    std::vector<std::pair<std::string, std::string>> m_values;
    std::vector<std::string> m_positional;
};

// Takes the `--name value` pairs of `valueOptions` and the `--name` flags of
// `flagOptions` off the front of `args`, up to the first other argument (the
// command), and returns them in order. A value option at the very end,
// without its value, is a UsageError.
std::vector<std::string> takeLeadingOptions(std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                                            const std::set<std::string>& flagOptions = {});

// A whole number given in decimal or with a 0x prefix in hexadecimal, from
// `min` to `max`; anything else (blanks included) is a UsageError naming
// `what` and the range.
long long integerArgument(const std::string& what, const std::string& text, long long min, long long max);

// A decimal number above 0 and at most `max`, in `unit`; anything else is a
// UsageError naming `what`, the unit and the range.
double positiveArgument(const std::string& what, const std::string& unit, const std::string& text, double max);

// Runs a tool's `body` and returns the exit code: body's own once all it
// wrote reached stdout, else kExitFailed; for a UsageError "PROGRAM: MESSAGE"
// and then `usageHint` on stderr and kExitUsage; for a Failure
// "PROGRAM: MESSAGE" on stderr and kExitFailed.
int runTool(const std::string& program, const std::function<int()>& body,
            const std::function<void(std::ostream&)>& usageHint);

}  // namespace cli
