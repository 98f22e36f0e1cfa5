// SPDX-License-Identifier: MIT
#pragma once
// A piece of a test run in a forked child as the unprivileged user nobody
// (when the test runs as root), for what only a user without rights sees:
// a device node that cannot be opened.
#include <functional>
#include <string>

// What the child answered, or why it could not run.
struct ChildAnswer {
    std::string text;
    bool skipped = false;  // the child could not become nobody
};

// Runs `work` in the child; it returns the text to send back and sets
// `exitCode` (0 when it got what it wanted). The child never returns.
ChildAnswer runAsNobody(const std::function<std::string(int& exitCode)>& work);
