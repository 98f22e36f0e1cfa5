// SPDX-License-Identifier: MIT
#pragma once
#include <memory>

// The library's own time per 64 KiB block transfer through the real libusb,
// on a board on a USB bus emulated under umockdev: the whole KoUSBDevice
// call minus the time spent inside libusb (whose bulk transfer the benchmark
// wraps). Only where the benchmark is built with umockdev.
class EmulatedCost {
public:
    // Puts a board on the emulated bus; call before InitUSB. Says on stderr
    // and leaves the measurement out when the bus cannot be had.
    EmulatedCost();
    ~EmulatedCost();
    // Measures `runs` times `transfers` transfers each way and prints the
    // medians; false on a failed transfer.
    bool measure(int runs, int transfers);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
