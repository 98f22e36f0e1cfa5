// SPDX-License-Identifier: MIT
#include "emulatedcost.h"

#include "KoUSBLib.h"
#include "schedulemedians.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef UDM_BENCH_UMOCKDEV
#include "emulatedbus.h"
#include "firmwaremodel.h"

#include <libusb.h>

#include <atomic>
#include <dlfcn.h>
#include <poll.h>
#endif

#ifdef UDM_BENCH_UMOCKDEV

struct EmulatedCost::Private {
    std::unique_ptr<EmulatedBus> bus;
};

namespace {
using Clock = std::chrono::steady_clock;
std::atomic<long long> g_insideLibusb{0};  // ns spent in libusb_bulk_transfer
}  // namespace

// Every bulk transfer of the process comes here first (the executable's
// definition wins over the shared library's) and is timed.
extern "C" int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint,
                                                unsigned char* data, int length, int* transferred, unsigned int timeout)
{
    using Transfer = int (*)(libusb_device_handle*, unsigned char, unsigned char*, int, int*, unsigned int);
    static const auto real = reinterpret_cast<Transfer>(::dlsym(RTLD_NEXT, "libusb_bulk_transfer"));
    const auto start = Clock::now();
    const int rc = real(handle, endpoint, data, length, transferred, timeout);
    g_insideLibusb += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    return rc;
}

EmulatedCost::EmulatedCost() : d(new Private)
{
    std::string why;
    if (!EmulatedBus::available(why)) {
        std::fprintf(stderr, "udm-bench: no emulated USB bus: %s\n", why.c_str());
        return;
    }
    d->bus = std::make_unique<EmulatedBus>();
    d->bus->plug(2, makeBoardModel(FirmwareModel::Starts::RunningFirmware));
    ::setenv("KOUSB_USB_BACKEND", "on", 1);
}

EmulatedCost::~EmulatedCost()
{
    if (!d->bus)
        return;
    // libusb lets go of the board before the bus goes.
    d->bus->unplugAll();
    pollfd p{GetDeviceChangeDescriptor(), POLLIN, 0};
    if (p.fd >= 0)
        ::poll(&p, 1, 5000);
    OnDeviceChange();
}

bool EmulatedCost::measure(int runs, int transfers)
{
    if (!d->bus)
        return true;
    KoUSBDevice device(nullptr);
    for (int slot = 0; slot < GetMaxNumberOfUSBBoards(); ++slot) {
        KoUSBDevice probe(GetUSBDeviceIndexed(slot));
        if (std::string(probe.GetEndpointInfo()).find("Bus 1, port 2,") != std::string::npos)
            device.SetDeviceHandle(GetUSBDeviceIndexed(slot));
    }
    std::vector<unsigned char> buffer(65536, 0xA5);
    std::vector<double> ours[2], inside[2];  // ns per call: [0] WriteBlock, [1] ReadBlock
    for (int run = 0; run < runs; ++run) {
        for (int read = 0; read < 2; ++read) {
            double own = 0, lib = 0;
            for (int i = 0; i < transfers; ++i) {
                // Each read takes back what the write before it looped in; only the read is timed.
                bool ok = !read || device.WriteBlock(buffer.data(), 65536);
                const long long before = g_insideLibusb;
                const auto start = Clock::now();
                ok = ok && (read ? device.ReadBlock(buffer.data(), 65536) : device.WriteBlock(buffer.data(), 65536));
                const double whole =
                    double(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
                if (!ok) {
                    std::fprintf(stderr, "udm-bench: a transfer on the emulated bus failed: %s\n",
                                 device.GetLastError());
                    return false;
                }
                lib += double(g_insideLibusb - before);
                own += whole - double(g_insideLibusb - before);
            }
            ours[read].push_back(own / transfers);
            inside[read].push_back(lib / transfers);
        }
    }
    const double transferNs = 65536 / 40e6 * 1e9;
    const double w = median(ours[0]), r = median(ours[1]);
    std::printf("Through the real libusb on a bus emulated under umockdev (median of %d runs of %d):\n", runs,
                transfers);
    std::printf("  WriteBlock %7.2f us   ReadBlock %7.2f us   (inside libusb and the emulation: %.0f us, %.0f us)\n",
                w / 1e3, r / 1e3, median(inside[0]) / 1e3, median(inside[1]) / 1e3);
    std::printf("  that is %.3f %% and %.3f %% of the %.0f us a 64 KiB transfer takes at 40 Mbyte/s\n",
                100 * w / transferNs, 100 * r / transferNs, transferNs / 1e3);
    return true;
}

#else

struct EmulatedCost::Private {};
EmulatedCost::EmulatedCost() : d(new Private) {}
EmulatedCost::~EmulatedCost() = default;
bool EmulatedCost::measure(int, int)
{
    std::printf("(built without umockdev: no measurement through the real libusb)\n");
    return true;
}

#endif
