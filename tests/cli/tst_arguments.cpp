// SPDX-License-Identifier: MIT
// The command-line reader kousb, kousb-sim and udm-bench share: which
// arguments it takes and how it refuses the rest, the numbers it reads, and
// the exit code and stderr text each way a tool's run can end.
#include "arguments.h"
#include "check.h"

#include <climits>
#include <iostream>
#include <sstream>

namespace {

std::string join(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : ",") + part;
    return text;
}

// What `read` gives, or the usage error's text.
template <typename Read>
std::string outcome(Read read)
{
    try {
        return read();
    } catch (const cli::UsageError& error) {
        return "error: " + error.message;
    }
}

void options()
{
    const std::pair<std::vector<std::string>, const char*> rows[] = {
        {{"a", "--hex", "--addr", "16", "b"}, "hex 16 [] a,b"},  // flag, --addr, every --board, positionals
        {{"--board", "1", "--board", "0x2"}, "- - [1,0x2] "},
        {{"-1", "--", "--hex"}, "- - [] -1,--hex"},
        {{"--addr", "1", "--addr", "2"}, "error: --addr given twice"},
        {{"x", "--board"}, "error: --board needs a value"},
        {{"--colour", "red"}, "error: unknown option '--colour'"},
    };
    for (const auto& [args, read] : rows)
        CHECK_EQUAL(outcome([&] {
                        const cli::Arguments a(args, {"--addr"}, {"--hex"}, {"--board"});
                        a.expectPositional(0, 2, "");
                        return std::string(a.flag("--hex") ? "hex " : "- ") + a.value("--addr").value_or("-") + " ["
                               + join(a.values("--board")) + "] " + join(a.positional());
                    }),
                    std::string(read));
    CHECK_EQUAL(outcome([] {
                    return cli::Arguments({"x", "y", "z"}, {}, {}).expectPositional(0, 2, ""), "";
                }),
                std::string("error: unexpected argument 'z'"));
    CHECK_EQUAL(outcome([] { return cli::Arguments({}, {}, {}).expectPositional(1, 1, "SLOT"), ""; }),
                std::string("error: missing SLOT"));

    std::vector<std::string> args{"--dir", "d", "list", "--dir", "e"};
    CHECK_EQUAL(join(cli::takeLeadingOptions(args, {"--dir"})), std::string("--dir,d"));
    CHECK_EQUAL(join(args), std::string("list,--dir,e"));
}

void numbers()
{
    const std::pair<const char*, const char*> rows[] = {
        {"16", "16"}, {"0x1F", "31"}, {"-128", "-128"}, {"128", ""}, {"12abc", ""}, {" 5", ""}, {"0x", ""}, {"", ""},
    };
    for (const auto& [text, read] : rows) {
        const std::string refused = "error: --n takes a whole number from -128 to 127, not '" + std::string(text) + "'";
        CHECK_EQUAL(outcome([&] { return std::to_string(cli::integerArgument("--n", text, -128, 127)); }),
                    *read ? std::string(read) : refused);
    }
    const char* const tooBig = "9223372036854775808";
    CHECK_EQUAL(outcome([&] { return std::to_string(cli::integerArgument("--n", tooBig, 0, LLONG_MAX)); }),
                "error: --n takes a whole number from 0 to 9223372036854775807, not '" + std::string(tooBig) + "'");

    const std::pair<const char*, const char*> rates[] = {{"0.5", "0.5"}, {"1000", "1000"}, {"0", ""},
                                                         {"1000.5", ""}, {"nan", ""},      {"8x", ""}};
    for (const auto& [text, read] : rates)
        CHECK_EQUAL(outcome([&] {
                        std::ostringstream out;
                        out << cli::positiveArgument("RATE", "Mbyte/s", text, 1000);
                        return out.str();
                    }),
                    *read ? std::string(read)
                          : "error: RATE takes Mbyte/s above 0 and at most 1000, not '" + std::string(text) + "'");
}

void endsOfARun()
{
    struct Row {
        int (*body)();
        int exitCode;
        const char* err;
    };
    const Row rows[] = {
        {[] { return 3; }, 3, ""},
        {[]() -> int { throw cli::UsageError{"no command"}; }, 2, "tool: no command\nHINT\n"},
        {[]() -> int { throw cli::Failure{"slot 7 is taken"}; }, 1, "tool: slot 7 is taken\n"},
        {[]() -> int { throw cli::Failure{""}; }, 1, ""},  // the reason was given already
        {[] { return std::cout.setstate(std::ios::badbit), 0; }, 1, "tool: writing the output failed\n"},
    };
    for (const Row& row : rows) {
        std::ostringstream err;
        std::streambuf* const cerr = std::cerr.rdbuf(err.rdbuf());
        const int exitCode = cli::runTool("tool", row.body, [](std::ostream& out) { out << "HINT\n"; });
        std::cerr.rdbuf(cerr);
        std::cout.clear();
        CHECK_EQUAL(exitCode, row.exitCode);
        CHECK_EQUAL(err.str(), std::string(row.err));
    }
}

}  // namespace

int main()
{
    options();
    numbers();
    endsOfARun();
    return check::result();
}
