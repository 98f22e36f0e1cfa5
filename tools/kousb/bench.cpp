// SPDX-License-Identifier: MIT
// bench: the "Benchmark" page's schedule of block writes and reads, one row
// per block size with the write and read rates in Mbyte/s.
#include "commands.h"

#include "batch.h"
#include "benchmarkrun.h"
#include "progress.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace cli {

namespace {

std::string rateText(const std::optional<double>& rate)
{
    if (!rate)
        return "-";  // too fast to time: no rate rather than an infinite one
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", *rate);
    return text;
}

}  // namespace

int benchCommand(const Args& args)
{
    const Arguments arguments(args, {}, {"--csv", "--all", "--json"}, {"--board"});
    arguments.expectPositional(0, 0, "");
    const bool csv = arguments.flag("--csv");
    return runOnBoards(chooseTargets(arguments), arguments.flag("--json"), [&](const BoardJob& job) {
        const long long total = 2 * benchmark::totalBytesPerDirection();
        long long done = 0;
        ProgressBar progress("bench", job.batch);
        progress.update(done, total);
        // Rows are printed when the run is over, so a failure half-way leaves
        // stdout empty rather than holding part of a table.
        BoardResult result;
        result.output = csv ? "bytes,write_MBps,read_MBps\n" : "   bytes  write MB/s  read MB/s\n";
        benchmark::runPasses(job.device, [&](const benchmark::PassResult& r) {
            if (r.failed) {  // ends the run: the Failure passes through it
                const std::string call = benchmark::callName(*r.failed);
                failed(job.device, call + " of " + std::to_string(r.pass.bytes) + " bytes");
            }
            done += 2 * r.pass.bytesPerDirection();
            progress.update(done, total);
            const std::string write = rateText(r.write), read = rateText(r.read);
            char row[96];
            if (csv)
                std::snprintf(row, sizeof row, "%d,%s,%s\n", r.pass.bytes, write.c_str(), read.c_str());
            else
                std::snprintf(row, sizeof row, "%8d  %10s  %9s\n", r.pass.bytes, write.c_str(), read.c_str());
            result.output += row;
            // A batch's line: the rates of the largest blocks, the last pass.
            result.summary =
                "write " + write + " MB/s, read " + read + " MB/s at " + std::to_string(r.pass.bytes) + " bytes";
            return true;
        });
        return result;
    });
}

}  // namespace cli
