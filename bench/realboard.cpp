// SPDX-License-Identifier: MIT
#include "realboard.h"

#include "emulatedcost.h"

#include "KoUSBLib.h"
#include "firmwaremodel.h"
#include "modeltransport.h"
#include "schedulemedians.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using kousb::usb::Milliseconds;
using kousb::usb::TransferResult;

std::int64_t ns(Clock::duration d) { return std::chrono::duration_cast<std::chrono::nanoseconds>(d).count(); }

// Forwards to a board running our firmware's host-compiled core and adds up
// the time spent inside it.
class TimedTransport : public kousb::usb::Transport {
public:
    explicit TimedTransport(std::shared_ptr<ModelTransport> board) : m_board(std::move(board)) {}
    std::int64_t inside = 0;

    kousb::usb::DeviceDescription description() const override { return m_board->description(); }
    TransferResult control(std::uint8_t t, std::uint8_t r, std::uint16_t v, std::uint16_t i, std::uint8_t* d,
                           std::size_t n, Milliseconds to) override
    {
        return timed([&] { return m_board->control(t, r, v, i, d, n, to); });
    }
    TransferResult bulk(std::uint8_t e, std::uint8_t* d, std::size_t n, Milliseconds to) override
    {
        return timed([&] { return m_board->bulk(e, d, n, to); });
    }
    TransferResult interrupt(std::uint8_t e, std::uint8_t* d, std::size_t n, Milliseconds to) override
    {
        return timed([&] { return m_board->interrupt(e, d, n, to); });
    }
    TransferResult clearHalt(std::uint8_t e) override { return m_board->clearHalt(e); }
    TransferResult awaitReenumeration(Milliseconds a, Milliseconds b) override
    {
        return m_board->awaitReenumeration(a, b);
    }

private:
    template <typename F>
    TransferResult timed(F&& f)
    {
        const auto start = Clock::now();
        TransferResult r = f();
        inside += ns(Clock::now() - start);
        return r;
    }
    std::shared_ptr<ModelTransport> m_board;
};

}  // namespace

int benchBackendCost(int runs)
{
    auto transport = std::make_shared<TimedTransport>(
        std::make_shared<ModelTransport>(makeBoardModel(FirmwareModel::Starts::RunningFirmware)));
    installBoard(transport, 0);
    ::setenv("KOUSB_USB_BACKEND", "off", 1);
    EmulatedCost emulated;  // turns real boards on for its emulated one
    // An empty folder of simulated boards, so that none takes slot 0.
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/udm-bench-XXXXXX";
    if (!::mkdtemp(folder.data())) {
        std::perror("udm-bench: cannot make a folder");
        return 1;
    }
    ::setenv("KOUSB_SIM_DIR", folder.c_str(), 1);
    InitUSB();
    ::rmdir(folder.c_str());
    KoUSBDevice device(GetUSBDeviceIndexed(0));
    constexpr int kTransfers = 2000;
    std::vector<unsigned char> buffer(65536, 0x5A);
    std::vector<double> writeCost, readCost;
    for (int run = 0; run < runs; ++run) {
        for (bool write : {true, false}) {
            transport->inside = 0;
            const auto start = Clock::now();
            for (int i = 0; i < kTransfers; ++i) {
                const bool ok =
                    write ? device.WriteBlock(buffer.data(), 65536) : device.ReadBlock(buffer.data(), 65536);
                if (!ok) {
                    std::fprintf(stderr, "udm-bench: transfer failed: %s\n", device.GetLastError());
                    return 1;
                }
            }
            const double total = double(ns(Clock::now() - start)), inside = double(transport->inside);
            (write ? writeCost : readCost).push_back((total - inside) / kTransfers);
        }
    }
    const double w = median(writeCost), r = median(readCost);
    const double transferNs = 65536 / 40e6 * 1e9;  // 64 KiB at 40 Mbyte/s
    std::printf(
        "Backend's own cost per 64 KiB block transfer on a board running our firmware core (median of %d runs of "
        "%d):\n",
        runs, kTransfers);
    std::printf("  WriteBlock %7.2f us   ReadBlock %7.2f us   (a 64 KiB transfer at 40 Mbyte/s: %.0f us)\n", w / 1e3,
                r / 1e3, transferNs / 1e3);
    std::printf("  that is %.3f %% and %.3f %% of the transfer's time\n", 100 * w / transferNs, 100 * r / transferNs);
    return emulated.measure(runs, 500) ? 0 : 1;
}

int benchRealBoard(const std::string& pair, int runs)
{
    ::setenv("KOUSB_USB_BACKEND", "on", 1);
    ::setenv("KOUSB_USB_IDS", pair.c_str(), 1);
    InitUSB();
    KoUSBDevice device(nullptr);
    for (int slot = 0; slot < GetMaxNumberOfUSBBoards() && !device.GetEndpointInfo()[0]; ++slot) {
        KoUSBDevice probe(GetUSBDeviceIndexed(slot));
        if (std::string(probe.GetEndpointInfo()).find("USB board " + pair) == 0)
            device.SetDeviceHandle(GetUSBDeviceIndexed(slot));
    }
    if (!device.GetEndpointInfo()[0]) {
        std::fprintf(stderr, "udm-bench: no board %s found\n", pair.c_str());
        return 1;
    }
    std::printf("Benchmark page schedule on the real board %s (%s)\n", pair.c_str(), device.GetName());
    std::string failure;
    const std::optional<ScheduleMedians> measured = scheduleMedians(device, runs, failure);
    if (!measured) {
        std::printf("  %s\n", failure.c_str());
        return 1;
    }
    std::printf("  pass  kbyte  reps    write MB/s    read MB/s   (median of %d)\n", runs);
    for (const benchmark::Pass& pass : benchmark::schedule())
        std::printf("  %4d  %5g  %4d  %12.3f  %11.3f\n", pass.number, pass.kbytes, pass.repetitions,
                    measured->write[pass.number - 1], measured->read[pass.number - 1]);
    return 0;
}
