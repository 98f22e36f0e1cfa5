// SPDX-License-Identifier: MIT
#pragma once
// A few lines of checking for the tests that build without Qt: each failed
// check prints where and what, and main returns check::result().
#include <iostream>
#include <sstream>
#include <string>

namespace check {

inline int& failures()
{
    static int count = 0;
    return count;
}

template <typename Got, typename Want>
void equal(const Got& got, const Want& want, const char* expression, const char* file, int line)
{
    if (got == want)
        return;
    std::ostringstream text;
    text << file << ":" << line << ": " << expression << "\n  got:  " << got << "\n  want: " << want << "\n";
    std::cerr << text.str();
    ++failures();
}

inline void that(bool ok, const char* expression, const std::string& context, const char* file, int line)
{
    if (ok)
        return;
    std::cerr << file << ":" << line << ": " << expression << " is false" << (context.empty() ? "" : "; ") << context
              << "\n";
    ++failures();
}

inline int result()
{
    std::cerr << (failures() ? std::to_string(failures()) + " check(s) failed\n" : std::string("all checks passed\n"));
    return failures() ? 1 : 0;
}

}  // namespace check

#define CHECK_EQUAL(got, want) check::equal((got), (want), #got " == " #want, __FILE__, __LINE__)
#define CHECK(condition, context) check::that((condition), #condition, (context), __FILE__, __LINE__)
