// SPDX-License-Identifier: MIT
// udm-callcost: the library's time per call as a C++ program sees it, beside
// which bench/pythoncost.py puts the same calls made from Python: a 1-byte
// UART write or read (one modelled control transfer, as a 1-byte FPGA
// register read; the UART's time beyond it is the call's own cost) and 64 KiB
// block writes and reads, on the first board of the folder in KOUSB_SIM_DIR.
// Prints one "name value" line per figure, each the median of --runs runs.
// The UART call is timed twice: on the wall clock beyond the modelled
// transfer, and in the thread's CPU time, which other work on a loaded
// machine does not lengthen (the end of each modelled wait is spun, so that
// figure holds most of the wait too; beside Python's, the difference is
// what counts).
#include "KoUSBLib.h"
#include "arguments.h"
#include "schedulemedians.h"
#include "sim/simtiming.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Calls per run of each kind; bench/pythoncost.py makes as many.
constexpr int kUartCalls = 2000;
constexpr int kFpgaReads = 400;
constexpr int kBlocks = 32;
constexpr int kBlockBytes = 65536;

double threadCpuMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e6 + now.tv_nsec / 1e3;
}

// Runs `call` `count` times; false at the first that fails, else the
// microseconds of one call, on the wall clock and in this thread's CPU time.
template <typename Call>
bool timeCalls(int count, Call&& call, double& microseconds, double* cpuMicroseconds = nullptr)
{
    const double cpuStart = threadCpuMicroseconds();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < count; ++i)
        if (!call())
            return false;
    microseconds = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / count;
    if (cpuMicroseconds)
        *cpuMicroseconds = (threadCpuMicroseconds() - cpuStart) / count;
    return true;
}

}  // namespace

// Prints the figures; false at the first call that fails.
int callCost(int runs)
{
    InitUSB();
    KoUSBDevice device(GetUSBDevice(-1, -1));
    unsigned char byte = 0;
    std::vector<unsigned char> block(kBlockBytes);
    std::vector<double> uart, uartCpu, fpga, writeRate, readRate;
    const double modelledUs =
        std::chrono::duration<double, std::micro>(kousb::sim::timing::controlTransferTime()).count();
    // The first run only warms up (a fresh process's first calls map the
    // board's state and fault its pages in).
    for (int run = -1; run < runs; ++run) {
        double write = 0, read = 0, writeCpu = 0, readCpu = 0, fpgaRead = 0, writeBlock = 0, readBlock = 0;
        if (!timeCalls(
                kUartCalls, [&] { return device.WriteSerial(&byte, 1); }, write, &writeCpu)
            || !timeCalls(
                kUartCalls, [&] { return device.ReadSerial(&byte, 1); }, read, &readCpu)
            || !timeCalls(
                kFpgaReads, [&] { return device.ReadXilinx(0, &byte, 1); }, fpgaRead)
            || !timeCalls(
                kBlocks, [&] { return device.WriteBlock(block.data(), kBlockBytes); }, writeBlock)
            || !timeCalls(
                kBlocks, [&] { return device.ReadBlock(block.data(), kBlockBytes); }, readBlock)) {
            std::fprintf(stderr, "udm-bench: a call failed: %s\n", device.GetLastError());
            return cli::kExitFailed;
        }
        if (run < 0)
            continue;
        uart.push_back((write + read) / 2 - modelledUs);
        uartCpu.push_back((writeCpu + readCpu) / 2);
        fpga.push_back(fpgaRead);
        // kbyte per millisecond, the benchmark page's "Mbyte/sec".
        writeRate.push_back(kBlockBytes / 1024.0 / (writeBlock / 1000));
        readRate.push_back(kBlockBytes / 1024.0 / (readBlock / 1000));
    }
    std::printf(
        "uart_call_us %.3f\nuart_call_cpu_us %.3f\nfpga_read_us %.3f\nwrite_block_MBps %.4f\n"
        "read_block_MBps %.4f\n",
        median(uart), median(uartCpu), median(fpga), median(writeRate), median(readRate));
    return cli::kExitOk;
}

int main(int argc, char** argv)
{
    return cli::runTool(
        "udm-callcost",
        [&] {
            const cli::Arguments arguments(std::vector<std::string>(argv + 1, argv + argc), {"--runs"}, {});
            arguments.expectPositional(0, 0, "");
            return callCost(
                static_cast<int>(cli::integerArgument("--runs", arguments.value("--runs").value_or("5"), 1, 1000)));
        },
        [](std::ostream& err) {
            err << "usage: udm-callcost [--runs N]   (with KOUSB_SIM_DIR naming a board folder)\n";
        });
}
