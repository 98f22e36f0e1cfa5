// SPDX-License-Identifier: MIT
#pragma once
#include "transport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

namespace kousb::usb {

// Owns a libusb context; transports keep it alive, so a handle is never
// closed after its context has gone, whatever the order of destruction.
class LibusbContext {
public:
    // Null if libusb cannot start; `error` then says why.
    static std::shared_ptr<LibusbContext> create(std::string& error);
    ~LibusbContext();
    LibusbContext(const LibusbContext&) = delete;
    LibusbContext& operator=(const LibusbContext&) = delete;
    libusb_context* get() const { return m_context; }

    // Hot-plug: the backend says whether libusb reports arrivals and removals
    // here, and calls noteBusChange() on each (from its event thread).
    void setHotplug(bool on) { m_hotplug = on; }
    bool hotplug() const { return m_hotplug; }
    void noteBusChange();
    // The number of bus changes noted so far.
    std::uint64_t busChanges() const;
    // Blocks until the count passes `seen` or `until` comes; returns the count.
    std::uint64_t waitForBusChange(std::uint64_t seen, std::chrono::steady_clock::time_point until) const;

private:
    explicit LibusbContext(libusb_context* context) : m_context(context) {}
    libusb_context* m_context;
    std::atomic<bool> m_hotplug{false};
    mutable std::mutex m_changeMutex;
    mutable std::condition_variable m_changed;
    std::uint64_t m_changes = 0;
};

// A libusb result (0 or more: done; below 0: a libusb error code) and the
// bytes moved, as a TransferResult.
TransferResult libusbResult(int code, int transferred);

// The board's bus position: bus number, then the hub ports from the root.
std::vector<std::uint8_t> portKey(libusb_device* device);

// A Transport on one libusb device. The constructor opens it and claims
// interface 0; a device that cannot be opened still gives a transport, whose
// description() says why (openError) and whose transfers fail with that error.
class LibusbTransport : public Transport {
public:
    LibusbTransport(std::shared_ptr<LibusbContext> context, libusb_device* device);
    ~LibusbTransport() override;

    // The libusb device this transport talks to now (it changes on re-enumeration).
    libusb_device* device() const;
    // True while the device may be absent because it re-enumerates: from the
    // request that lets the controller's CPU run (for as long as a device
    // takes to leave) and while awaitReenumeration follows it.
    bool reenumerating() const;

    DeviceDescription description() const override;
    TransferResult control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                           std::uint8_t* data, std::size_t length, Milliseconds timeout) override;
    TransferResult bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, Milliseconds timeout) override;
    TransferResult interrupt(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                             Milliseconds timeout) override;
    TransferResult clearHalt(std::uint8_t endpoint) override;
    TransferResult awaitReenumeration(Milliseconds leaveWithin, Milliseconds backWithin) override;

private:
    // Opens `device` in place of the present one; the caller holds no lock.
    void adopt(libusb_device* device);
    void close();
    TransferResult notOpen() const;
    // libusb_bulk_transfer and libusb_interrupt_transfer take the same arguments.
    using EndpointTransfer = int (*)(libusb_device_handle*, unsigned char, unsigned char*, int, int*, unsigned int);
    TransferResult endpointTransfer(EndpointTransfer transfer, std::uint8_t endpoint, std::uint8_t* data,
                                    std::size_t length, Milliseconds timeout);

    std::shared_ptr<LibusbContext> m_context;
    mutable std::mutex m_mutex;  // guards the fields below against the backend's reads
    libusb_device* m_device = nullptr;
    libusb_device_handle* m_handle = nullptr;
    bool m_claimed = false;
    TransferError m_openError = TransferError::None;
    std::string m_openDetail;
    DeviceDescription m_description;
    std::atomic<bool> m_awaiting{false};          // awaitReenumeration runs
    std::atomic<std::int64_t> m_cpuStartedAt{0};  // steady-clock ns of the last CPU start; 0: none
};

}  // namespace kousb::usb
