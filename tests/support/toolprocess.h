// SPDX-License-Identifier: MIT
#pragma once
// Runs one of our command-line programs as a user would, for tests.
#include <QString>
#include <QStringList>

struct ToolResult {
    int exitCode = -1;  // -1 when the program did not finish in time
    QString out;
    QString err;
};

// `program` is the path of the executable (tests get it from the environment
// CTest sets, e.g. KOUSB_TOOL); stdin is closed. `environment` (NAME=VALUE)
// is added to the test's own.
ToolResult runTool(const QString& program, const QStringList& args, int timeoutMs = 60000,
                   const QStringList& environment = {});
