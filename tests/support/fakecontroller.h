// SPDX-License-Identifier: MIT
#pragma once
// A scripted fake of an 8051-core USB controller behind the Transport
// interface, for what a board running our firmware (firmwaremodel.h) cannot
// show: internal memory behind 0xA0 and the CPUCS reset bit with a log of
// the requests, re-enumeration after the CPU is let run (or staying
// connected, or never coming back), several boards at once, bulk and
// interrupt endpoints that loop back whole blocks, stalls, timeouts, an
// unplug after any number of transfers and a device node without access.
// Of the board protocol it answers only what recognises a board as ours
// (version with capabilities, identity, FPGA part, error); the requests
// themselves run on the firmware core. Plain C++, so the benchmark can use it too.
#include "libusb/protocol.h"
#include "libusb/transport.h"

#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct ControlRecord {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::vector<std::uint8_t> data;  // the bytes sent (OUT) or asked for (IN: length only, zeros)
};

class FakeController : public kousb::usb::Transport {
public:
    // What runs on the controller: nothing (the boot state), our firmware
    // (answers the protocol) or someone else's (stalls every vendor request but 0xA0).
    enum class Runs { Nothing, OurFirmware, ForeignFirmware };
    // What the controller does when the CPU is let run after a load.
    enum class AfterRelease { Reenumerates, StaysConnected, NeverComesBack };

    explicit FakeController(Runs runs = Runs::Nothing);

    // Scripting; call before the board is made or between calls.
    void setAfterRelease(AfterRelease behaviour, Runs runs = Runs::OurFirmware);
    void setCapabilities(std::uint16_t caps);
    void setAccessDenied();
    void removeEndpoints(kousb::usb::EndpointType type);
    // The endpoint stalls until cleared.
    void haltEndpoint(std::uint8_t endpoint);
    // The next transfer on `endpoint` (0 for control) times out.
    void timeoutNext(std::uint8_t endpoint);
    // After `transfers` more transfers of any kind the device is gone.
    void unplugAfter(int transfers);

    // Inspection.
    std::vector<ControlRecord> controlLog() const;
    void clearLog();
    bool cpuInReset() const;
    std::vector<std::uint8_t> memory(std::size_t address, std::size_t length) const;
    std::set<std::uint8_t> clearedEndpoints() const;
    int reenumerations() const;
    // The CPU was let out of reset since the last awaitReenumeration.
    bool releasePending() const;

    kousb::usb::DeviceDescription description() const override;
    kousb::usb::TransferResult control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                       std::uint16_t index, std::uint8_t* data, std::size_t length,
                                       kousb::usb::Milliseconds timeout) override;
    kousb::usb::TransferResult bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                                    kousb::usb::Milliseconds timeout) override;
    kousb::usb::TransferResult interrupt(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                                         kousb::usb::Milliseconds timeout) override;
    kousb::usb::TransferResult clearHalt(std::uint8_t endpoint) override;
    kousb::usb::TransferResult awaitReenumeration(kousb::usb::Milliseconds leaveWithin,
                                                  kousb::usb::Milliseconds backWithin) override;

private:
    // A fault scripted for this transfer, or none (then counts it).
    bool faulted(std::uint8_t endpoint, kousb::usb::TransferResult& result);
    kousb::usb::TransferResult firmwareLoad(bool in, std::uint16_t address, std::uint8_t* data, std::size_t length);
    kousb::usb::TransferResult vendor(bool in, std::uint8_t request, std::uint8_t* data, std::size_t length);
    kousb::usb::TransferResult boardError(std::uint8_t request, std::uint8_t code);
    kousb::usb::TransferResult loop(std::deque<std::uint8_t>& fifo, std::uint8_t endpoint, std::uint8_t* data,
                                    std::size_t length);
    void describeAs(Runs runs);

    mutable std::mutex m_mutex;
    Runs m_runs;
    AfterRelease m_afterRelease = AfterRelease::Reenumerates;
    Runs m_runsAfterRelease = Runs::OurFirmware;
    bool m_releasedSinceAwait = false;
    kousb::usb::DeviceDescription m_description;
    std::vector<std::uint8_t> m_memory = std::vector<std::uint8_t>(64 * 1024, 0);
    bool m_cpuReset = false;
    int m_reenumerations = 0;
    int m_unplugCountdown = -1;
    bool m_unplugged = false;
    std::set<std::uint8_t> m_halted, m_timeoutNext, m_cleared;
    std::uint8_t m_lastError = 0, m_lastErrorRequest = 0;
    std::vector<ControlRecord> m_log;
    std::set<kousb::usb::EndpointType> m_removed;

    std::uint16_t m_caps = 0x01FF;
    std::deque<std::uint8_t> m_bulk, m_interrupt;
};

// Puts a real-board logic on `transport` (the fake, or a model's transport)
// into the library's registry through a backend of its own (at `slot`), now
// or at the next InitUSB/OnDeviceChange. The backend takes the board out once
// it has gone, as the libusb backend does.
void installFakeBoard(std::shared_ptr<kousb::usb::Transport> transport, int slot);
