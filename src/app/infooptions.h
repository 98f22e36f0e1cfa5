// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <ostream>

// The window has no options of its own: Qt takes its standard ones. Only
// --version and --help (-v, -h) are answered, before the application object
// exists, so that they work without a display.
//
// Prints the version or the help text to `out` and returns the exit code when
// an argument asks for one; otherwise returns nothing and start-up goes on.
std::optional<int> answerInfoOption(int argc, const char* const* argv, std::ostream& out);
