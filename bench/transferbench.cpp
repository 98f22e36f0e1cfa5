// SPDX-License-Identifier: MIT
// udm-bench: runs the "Benchmark" page's exact schedule (16 passes, blocks of
// 4 to 64 kbyte, 72 - 4k repetitions, write then read) through the board
// library against simulated boards at several bulk rates, and prints for each
// block size the rate the timing model predicts, the rates measured and their
// ratio; then the single-byte access rate against its model. Each figure is
// the median of a few whole runs (--runs), so that one moment of other work on
// the machine does not decide it; --runs 1 is exactly what the page does.
//
// The boards live in a temporary folder of their own, removed at the end.
// Rates are in the page's unit, kbyte per millisecond ("Mbyte/sec").

#include "KoUSBLib.h"
#include "arguments.h"
#include "benchmarkrun.h"
#include "eepromlayout.h"
#include "realboard.h"
#include "schedulemedians.h"
#include "sim/boardstore.h"
#include "sim/simtransport.h"
#include "sim/simdirectory.h"
#include "sim/simtiming.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace timing = kousb::sim::timing;

std::int64_t nanosecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
}

// The rate the model gives one transfer of `pass`'s block at `rate`.
double expectedRate(const benchmark::Pass& pass, double rate)
{
    const auto t = timing::bulkTransferTime(static_cast<std::size_t>(pass.bytes), rate);
    return *benchmark::transferRate(pass.kbytes, 1, t.count());
}

struct Folder {
    std::string path;
    std::vector<std::string> files;
    ~Folder()
    {
        for (const std::string& f : files)
            std::remove(f.c_str());
        if (!path.empty()) {
            ::rmdir((path + "/" + kousb::sim::kStateFolder).c_str());
            ::rmdir(path.c_str());
        }
    }
};

bool plugBoard(Folder& folder, int slot, double rate, std::string& error)
{
    kousb::sim::BoardState state = kousb::sim::blankBoard();
    state.bulkRateMBps = rate;
    state.controllerFirmware = "bench firmware";  // our firmware runs: the board serves the benchmark
    state.fpgaDesign = "bench.ncd";               // configured, so that its registers answer the single-byte reads
    kousb::eeprom::writeId(state.eeprom, 100 + slot);
    char name[32];
    std::snprintf(name, sizeof name, "Bench %g Mbyte/s", rate);
    kousb::eeprom::writeName(state.eeprom, name);
    const kousb::sim::BoardStore store(folder.path);
    if (store.plug(state, slot, error) != slot)
        return false;
    folder.files.push_back(store.boardPath(slot));
    folder.files.push_back(kousb::sim::stateFilePath(store.boardPath(slot)));
    return true;
}

// Runs the page's schedule on one board `runs` times and prints, per pass,
// the median of the runs' rates; false if a transfer failed.
bool runBoard(KoUSBDevice& device, double rate, int runs)
{
    std::string failure;
    const std::optional<ScheduleMedians> measured = scheduleMedians(device, runs, failure);
    if (!measured) {
        std::printf("\nBoard at %g Mbyte/s: %s\n", rate, failure.c_str());
        return false;
    }

    double modelSeconds = 0;
    for (const benchmark::Pass& pass : benchmark::schedule())
        modelSeconds +=
            2.0 * pass.repetitions
            * std::chrono::duration<double>(timing::bulkTransferTime(std::size_t(pass.bytes), rate)).count();

    std::printf("\nBoard at %g Mbyte/s (median of %d run%s)\n", rate, runs, runs == 1 ? "" : "s");
    std::printf("  pass  kbyte  reps  expected    write  ratio     read  ratio\n");
    double worst = 0;
    for (const benchmark::Pass& pass : benchmark::schedule()) {
        const double expected = expectedRate(pass, rate);
        const double w = measured->write[pass.number - 1], r = measured->read[pass.number - 1];
        std::printf("  %4d  %5g  %4d  %8.3f  %7.3f  %5.3f  %7.3f  %5.3f\n", pass.number, pass.kbytes, pass.repetitions,
                    expected, w, w / expected, r, r / expected);
        worst = std::fmax(worst, std::fabs(w / expected - 1));
        worst = std::fmax(worst, std::fabs(r / expected - 1));
    }
    std::printf("  run %.3f s (median; model %.3f s), worst deviation from the model %.2f %%\n", measured->runSeconds,
                modelSeconds, 100 * worst);
    return true;
}

void singleByte(KoUSBDevice& device, double rate, int runs)
{
    const int n = benchmark::kSingleByteReads;
    const double model = 1.0 / std::chrono::duration<double, std::milli>(timing::controlTransferTime()).count();
    std::printf("\nSingle byte access (%d accesses, median of %d run%s; model %.1f kHz)\n", n, runs,
                runs == 1 ? "" : "s", model);

    // The wait every register-style access of the simulated board makes.
    std::vector<double> waited;
    for (int run = 0; run < runs; ++run) {
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < n; ++i)
            timing::waitUntil(Clock::now() + timing::controlTransferTime());
        waited.push_back(benchmark::accessRateKHz(n, nanosecondsSince(start)).value_or(NAN));
    }
    const double w = median(waited);
    std::printf("  the modelled wait alone         %7.1f kHz  ratio %5.3f\n", w, w / model);

    // What the page measures: one-byte FPGA register reads through the library.
    std::vector<double> measured;
    for (int run = 0; run < runs; ++run) {
        const std::optional<std::int64_t> ns = benchmark::timeSingleByteReads(device);
        if (!ns) {
            std::printf("  ReadXilinx, %g Mbyte/s board      n/a (%s)\n", rate, device.GetLastError());
            return;
        }
        measured.push_back(benchmark::accessRateKHz(n, *ns).value_or(NAN));
    }
    const double m = median(measured);
    std::printf("  ReadXilinx, %g Mbyte/s board  %7.1f kHz  ratio %5.3f\n", rate, m, m / model);
    const double modelUs = std::chrono::duration<double, std::micro>(timing::controlTransferTime()).count();
    std::printf("  ReadXilinx beyond the model     %7.2f us a call (the wait alone %.2f us)\n", 1000.0 / m - modelUs,
                1000.0 / w - modelUs);

    // The library's own time in a 1-byte call: what a UART write and read
    // take beyond their modelled control transfers (the firmware's work on
    // the board lies inside those).
    std::vector<double> own;
    unsigned char byte = 0;
    for (int run = 0; run < runs; ++run) {
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < n; ++i) {
            device.WriteSerial(&byte, 1);
            device.ReadSerial(&byte, 1);
        }
        own.push_back(nanosecondsSince(start) / 1000.0 / (2.0 * n) - modelUs);
    }
    std::printf("  library time of a 1-byte call   %7.2f us (WriteSerial/ReadSerial, beyond the modelled wait)\n",
                median(own));
}

// How long a board plugged into the folder takes to reach the list: the
// descriptor wakes, OnDeviceChange reads the folder, the slot fills.
void plugToList(const std::string& dir, int slot, int runs)
{
    std::vector<double> ms;
    const kousb::sim::BoardStore store(dir);
    for (int run = 0; run < runs; ++run) {
        kousb::sim::BoardState state = kousb::sim::blankBoard();
        std::string error;
        const Clock::time_point start = Clock::now();
        if (store.plug(state, slot, error) != slot) {
            std::printf("\nPlug to list: cannot plug: %s\n", error.c_str());
            return;
        }
        while (!GetUSBDeviceIndexed(slot) && nanosecondsSince(start) < 2000000000LL) {
            pollfd p{GetDeviceChangeDescriptor(), POLLIN, 0};
            ::poll(&p, 1, 100);
            OnDeviceChange();
        }
        ms.push_back(nanosecondsSince(start) / 1e6);
        store.unplug(slot, error);
        ::unlink(store.shelfPath(slot).c_str());
        ::rmdir((dir + "/unplugged").c_str());
        OnDeviceChange();
    }
    std::printf("\nPlug to list: %.2f ms (median of %d)\n", median(ms), runs);
}

void usage(std::ostream& out)
{
    out << "usage: udm-bench [--runs N] [RATE ...]\n"
           "       udm-bench [--runs N] --board VVVV:PPPP\n"
           "       udm-bench [--runs N] --backend-cost\n"
           "  Runs the Benchmark page's schedule on simulated boards at each RATE\n"
           "  (Mbyte/s, above 0 and at most 1000; default 8 24 40) N times (default 3)\n"
           "  and prints model against measurement, the median of the runs per block\n"
           "  size. Other work on the machine shows as rates below the model.\n"
           "  --board runs the schedule on the real board with that vendor:product;\n"
           "  --backend-cost measures the library's own time per 64 KiB block transfer\n"
           "  on a board running our firmware core (the transport's time left out) and, where\n"
           "  built with umockdev, through the real libusb on an emulated USB bus.\n";
}

int run(const std::vector<std::string>& args)
{
    for (const std::string& arg : args)
        if (arg == "-h" || arg == "--help") {
            usage(std::cout);
            return cli::kExitOk;
        }
    const cli::Arguments arguments(args, {"--runs", "--board"}, {"--backend-cost"});
    const std::string runsText = arguments.value("--runs").value_or("3");
    const int runs = static_cast<int>(cli::integerArgument("--runs", runsText, 1, 1000));
    std::vector<double> rates;
    for (const std::string& text : arguments.positional())
        rates.push_back(cli::positiveArgument("RATE", "Mbyte/s", text, 1000));
    if (arguments.flag("--backend-cost"))
        return benchBackendCost(runs);
    if (const auto board = arguments.value("--board"))
        return benchRealBoard(*board, runs);
    if (rates.empty())
        rates = {8, 24, 40};

    Folder folder;
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/udm-bench-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("udm-bench: cannot make a folder for the boards");
            return 1;
        }
        folder.path = pattern;
    }
    for (std::size_t i = 0; i < rates.size(); ++i) {
        std::string error;
        if (!plugBoard(folder, int(i), rates[i], error)) {
            std::fprintf(stderr, "udm-bench: cannot plug a board: %s\n", error.c_str());
            return 1;
        }
    }
    ::setenv("KOUSB_SIM_DIR", folder.path.c_str(), 1);
    if (!InitUSB()) {
        std::fprintf(stderr, "udm-bench: the board library did not start\n");
        return 1;
    }

    std::printf("Benchmark page schedule on simulated boards: %d passes, %d to %d kbyte, %lld bytes each way\n",
                benchmark::kPasses, int(benchmark::pass(1).kbytes), int(benchmark::pass(benchmark::kPasses).kbytes),
                benchmark::totalBytesPerDirection());
    std::printf("Rates in Mbyte/s = kbyte/ms. Model: t = %lld us + n / R per bulk transfer.\n",
                static_cast<long long>(timing::kBulkTransferOverhead.count()));
    // Other work on the machine shows as rates below the model.
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        double load = 0;
        if (std::fscanf(f, "%lf", &load) == 1)
            std::printf("Load average (1 min) %.2f on %ld CPUs.\n", load, ::sysconf(_SC_NPROCESSORS_ONLN));
        std::fclose(f);
    }

    bool allOk = true;
    KoUSBDevice device(nullptr);
    for (std::size_t i = 0; i < rates.size(); ++i) {
        void* handle = GetUSBDeviceIndexed(int(i));
        if (!handle) {
            std::fprintf(stderr, "udm-bench: the board at %g Mbyte/s did not appear\n", rates[i]);
            return 1;
        }
        device.SetDeviceHandle(handle);
        allOk = runBoard(device, rates[i], runs) && allOk;
    }
    // Single byte access does not depend on the bulk rate: one board will do.
    const std::size_t middle = rates.size() / 2;
    device.SetDeviceHandle(GetUSBDeviceIndexed(int(middle)));
    singleByte(device, rates[middle], runs);
    device.SetDeviceHandle(nullptr);
    plugToList(folder.path, int(rates.size()), std::max(runs, 5));
    return allOk ? cli::kExitOk : cli::kExitFailed;
}

}  // namespace

int main(int argc, char** argv)
{
    return cli::runTool(
        "udm-bench", [&] { return run(std::vector<std::string>(argv + 1, argv + argc)); },
        [](std::ostream& err) { usage(err); });
}
