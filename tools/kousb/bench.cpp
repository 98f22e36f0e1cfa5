// bench: the "Benchmark" page's schedule of block writes and reads, one row
// per block size with the write and read rates in Mbyte/s.
#include "commands.h"

#include "benchmarkpass.h"
#include "progress.h"

#include <cstdio>
#include <iostream>
#include <vector>

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

} // namespace

int benchCommand(const Args& args)
{
    const Arguments arguments(args, {"--board"}, {"--csv"});
    arguments.expectPositional(0, 0, "");
    const bool csv = arguments.flag("--csv");
    auto device = chooseBoard(boardOption(arguments));

    std::vector<unsigned char> buffer(benchmark::kBufferBytes);
    for (std::size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<unsigned char>(i);
    const long long total = 2 * benchmark::totalBytesPerDirection();
    long long done = 0;
    ProgressBar progress("bench");
    // Rows are printed when the run is over, so a failure half-way leaves
    // stdout empty rather than holding part of a table.
    std::string table = csv ? "bytes,write_MBps,read_MBps\n" : "   bytes  write MB/s  read MB/s\n";
    for (const benchmark::Pass& pass : benchmark::schedule()) {
        progress.update(done, total);
        const auto writeNs = benchmark::timePass(*device, benchmark::Direction::Write, buffer.data(), pass);
        if (!writeNs)
            failed(*device, "WriteBlock of " + std::to_string(pass.bytes) + " bytes");
        done += pass.bytesPerDirection();
        progress.update(done, total);
        const auto readNs = benchmark::timePass(*device, benchmark::Direction::Read, buffer.data(), pass);
        if (!readNs)
            failed(*device, "ReadBlock of " + std::to_string(pass.bytes) + " bytes");
        done += pass.bytesPerDirection();
        const std::string w = rateText(benchmark::transferRate(pass.kbytes, pass.repetitions, *writeNs));
        const std::string r = rateText(benchmark::transferRate(pass.kbytes, pass.repetitions, *readNs));
        char row[96];
        if (csv)
            std::snprintf(row, sizeof row, "%d,%s,%s\n", pass.bytes, w.c_str(), r.c_str());
        else
            std::snprintf(row, sizeof row, "%8d  %10s  %9s\n", pass.bytes, w.c_str(), r.c_str());
        table += row;
    }
    progress.update(total, total);
    std::cout << table;
    return kExitOk;
}

} // namespace cli
