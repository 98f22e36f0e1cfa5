// SPDX-License-Identifier: MIT
#include "arguments.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace cli {

namespace {

bool hasBlank(const std::string& text) { return text.find_first_of(" \t\n\v\f\r") != std::string::npos; }

}  // namespace

Arguments::Arguments(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                     const std::set<std::string>& flagOptions, const std::set<std::string>& repeatableOptions)
{
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            m_positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (flagOptions.count(arg)) {
            m_flags.insert(arg);
        } else if (valueOptions.count(arg) || repeatableOptions.count(arg)) {
            if (i + 1 >= args.size())
                throw UsageError{arg + " needs a value"};
            if (!repeatableOptions.count(arg) && value(arg))
                throw UsageError{arg + " given twice"};
            m_values.emplace_back(arg, args[++i]);
        } else {
            throw UsageError{"unknown option '" + arg + "'"};
        }
    }
}

std::optional<std::string> Arguments::value(const std::string& name) const
{
    for (const auto& [key, text] : m_values)
        if (key == name)
            return text;
    return std::nullopt;
}

std::vector<std::string> Arguments::values(const std::string& name) const
{
    std::vector<std::string> found;
    for (const auto& [key, text] : m_values)
        if (key == name)
            found.push_back(text);
    return found;
}

void Arguments::expectPositional(std::size_t min, std::size_t max, const char* what) const
{
    if (m_positional.size() < min)
        throw UsageError{std::string("missing ") + what};
    if (m_positional.size() > max)
        throw UsageError{"unexpected argument '" + m_positional[max] + "'"};
}

std::vector<std::string> takeLeadingOptions(std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                                            const std::set<std::string>& flagOptions)
{
    std::size_t taken = 0;
    while (taken < args.size() && (valueOptions.count(args[taken]) || flagOptions.count(args[taken]))) {
        if (flagOptions.count(args[taken])) {
            ++taken;
            continue;
        }
        if (taken + 1 >= args.size())
            throw UsageError{args[taken] + " needs a value"};
        taken += 2;
    }
    std::vector<std::string> leading(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(taken));
    args.erase(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(taken));
    return leading;
}

long long integerArgument(const std::string& what, const std::string& text, long long min, long long max)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const bool readable = !text.empty() && !hasBlank(text);
    errno = 0;
    char* end = nullptr;
    const long long value = readable ? std::strtoll(text.c_str(), &end, hex ? 16 : 10) : 0;
    if (!readable || *end != '\0' || errno != 0 || value < min || value > max)
        throw UsageError{what + " takes a whole number from " + std::to_string(min) + " to " + std::to_string(max)
                         + ", not '" + text + "'"};
    return value;
}

double positiveArgument(const std::string& what, const std::string& unit, const std::string& text, double max)
{
    const bool readable = !text.empty() && !hasBlank(text);
    errno = 0;
    char* end = nullptr;
    const double value = readable ? std::strtod(text.c_str(), &end) : 0;
    if (!readable || *end != '\0' || errno != 0 || !(value > 0) || value > max) {
        char limit[32];
        std::snprintf(limit, sizeof limit, "%g", max);
        throw UsageError{what + " takes " + unit + " above 0 and at most " + limit + ", not '" + text + "'"};
    }
    return value;
}

int runTool(const std::string& program, const std::function<int()>& body,
            const std::function<void(std::ostream&)>& usageHint)
{
    try {
        const int code = body();
        std::cout.flush();
        if (!std::cout.fail())
            return code;
        std::cerr << program << ": writing the output failed\n";
        return kExitFailed;
    } catch (const UsageError& error) {
        std::cerr << program << ": " << error.message << "\n";
        usageHint(std::cerr);
        return kExitUsage;
    } catch (const Failure& error) {
        if (!error.message.empty())
            std::cerr << program << ": " << error.message << "\n";
        return kExitFailed;
    }
}

}  // namespace cli
