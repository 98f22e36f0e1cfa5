// The command-line reader kousb, kousb-sim and udm-bench share: which
// arguments it takes and how it refuses the rest, the numbers it reads, and
// the exit code and stderr text each way a tool's run can end.
#include "arguments.h"
#include "check.h"

#include <climits>
#include <cstdint>
#include <iostream>
#include <sstream>

namespace {

using Args = std::vector<std::string>;

std::string join(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : ",") + part;
    return text;
}

// The arguments as read, or the usage error's text.
template <typename Read>
std::string outcome(Read read)
{
    try {
        return read();
    } catch (const cli::UsageError& error) {
        return "error: " + error.message;
    }
}

void optionsAndPositionals()
{
    struct Row {
        Args args;
        const char* read;  // flag, --addr, every --board, positionals
    };
    const Row rows[] = {
        {{"a", "--hex", "--addr", "16", "b"}, "hex 16 [] a,b"},
        {{"--board", "1", "--board", "0x2"}, "- - [1,0x2] "},
        {{"-1", "--", "--hex"}, "- - [] -1,--hex"},
        {{"--addr", "1", "--addr", "2"}, "error: --addr given twice"},
        {{"--addr"}, "error: --addr needs a value"},
        {{"x", "--board"}, "error: --board needs a value"},
        {{"--colour", "red"}, "error: unknown option '--colour'"},
    };
    for (const Row& row : rows) {
        const std::string read = outcome([&] {
            const cli::Arguments a(row.args, {"--addr"}, {"--hex"}, {"--board"});
            return std::string(a.flag("--hex") ? "hex " : "- ") + a.value("--addr").value_or("-") + " ["
                + join(a.values("--board")) + "] " + join(a.positional());
        });
        CHECK_EQUAL(read, std::string(row.read));
    }

    const cli::Arguments two({"x", "y"}, {}, {});
    CHECK_EQUAL(outcome([&] { return two.expectPositional(1, 1, "SLOT"), std::string(); }),
                std::string("error: unexpected argument 'y'"));
    CHECK_EQUAL(outcome([&] { return two.expectPositional(3, 3, "SLOT"), std::string(); }),
                std::string("error: missing SLOT"));

    Args args{"--dir", "d", "list", "--dir", "e"};
    CHECK_EQUAL(join(cli::takeLeadingOptions(args, {"--dir"})), std::string("--dir,d"));
    CHECK_EQUAL(join(args), std::string("list,--dir,e"));
    args = {"--dir"};
    CHECK_EQUAL(outcome([&] { return join(cli::takeLeadingOptions(args, {"--dir"})); }),
                std::string("error: --dir needs a value"));
}

void numbers()
{
    struct Row {
        const char* text;
        long long min, max;
        const char* read;
    };
    const Row rows[] = {
        {"16", 0, 255, "16"},
        {"0x1F", 0, 255, "31"},
        {"0XfF", 0, 255, "255"},
        {"-2147483648", INT32_MIN, INT32_MAX, "-2147483648"},
        {"256", 0, 255, "error: --n takes a whole number from 0 to 255, not '256'"},
        {"-1", 0, 255, "error: --n takes a whole number from 0 to 255, not '-1'"},
        {"12abc", 0, 255, "error: --n takes a whole number from 0 to 255, not '12abc'"},
        {" 5", 0, 255, "error: --n takes a whole number from 0 to 255, not ' 5'"},
        {"0x", 0, 255, "error: --n takes a whole number from 0 to 255, not '0x'"},
        {"1e3", 0, 9999, "error: --n takes a whole number from 0 to 9999, not '1e3'"},
        {"", 0, 1, "error: --n takes a whole number from 0 to 1, not ''"},
        {"9223372036854775808", LLONG_MIN, LLONG_MAX,
         "error: --n takes a whole number from -9223372036854775808 to 9223372036854775807, not "
         "'9223372036854775808'"},
    };
    for (const Row& row : rows)
        CHECK_EQUAL(outcome([&] { return std::to_string(cli::integerArgument("--n", row.text, row.min, row.max)); }),
                    std::string(row.read));

    const std::pair<const char*, const char*> rates[] = {
        {"24", "24"},
        {"0.5", "0.5"},
        {"1000", "1000"},
        {"0", "error: RATE takes Mbyte/s above 0 and at most 1000, not '0'"},
        {"1000.5", "error: RATE takes Mbyte/s above 0 and at most 1000, not '1000.5'"},
        {"nan", "error: RATE takes Mbyte/s above 0 and at most 1000, not 'nan'"},
        {"8x", "error: RATE takes Mbyte/s above 0 and at most 1000, not '8x'"},
    };
    for (const auto& [text, read] : rates)
        CHECK_EQUAL(outcome([&] {
                        std::ostringstream out;
                        out << cli::positiveArgument("RATE", "Mbyte/s", text, 1000);
                        return out.str();
                    }),
                    std::string(read));
}

void endsOfARun()
{
    struct Row {
        const char* name;
        int (*body)();
        int exitCode;
        const char* err;
    };
    const Row rows[] = {
        {"done", [] { return 0; }, 0, ""},
        {"own code", [] { return 3; }, 3, ""},
        {"bad usage", []() -> int { throw cli::UsageError{"no command"}; }, 2, "tool: no command\nHINT\n"},
        {"failed", []() -> int { throw cli::Failure{"slot 7 is taken"}; }, 1, "tool: slot 7 is taken\n"},
        {"failed, said already", []() -> int { throw cli::Failure{""}; }, 1, ""},
        {"output lost",
         [] {
             std::cout.setstate(std::ios::badbit);
             return 0;
         },
         1, "tool: writing the output failed\n"},
    };
    for (const Row& row : rows) {
        std::ostringstream err;
        std::streambuf* const cerr = std::cerr.rdbuf(err.rdbuf());
        const int exitCode = cli::runTool("tool", row.body, [](std::ostream& out) { out << "HINT\n"; });
        std::cerr.rdbuf(cerr);
        std::cout.clear();
        CHECK(exitCode == row.exitCode, row.name);
        CHECK(err.str() == row.err, std::string(row.name) + ": " + err.str());
    }
}

} // namespace

int main()
{
    optionsAndPositionals();
    numbers();
    endsOfARun();
    return check::result();
}
