// SPDX-License-Identifier: MIT
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kousb::usb {

using Milliseconds = std::chrono::milliseconds;

// How a transfer ended, in the words the board logic needs to decide what to
// do next (a stall is cleared, a vanished device fails the call as unplugged).
enum class TransferError {
    None,
    Timeout,
    Stall,     // the endpoint answered with STALL
    NoDevice,  // the device has gone
    Access,    // the device node cannot be opened by this user
    Overflow,  // the device sent more than asked
    Busy,      // another program holds the interface
    Other,
};

struct TransferResult {
    TransferError error = TransferError::None;
    std::size_t transferred = 0;  // bytes moved, also when the transfer failed part-way
    std::string detail;           // the transport's own words, e.g. libusb's error name
    bool ok() const { return error == TransferError::None; }
};

enum class EndpointType { Control, Isochronous, Bulk, Interrupt };

struct EndpointDescription {
    std::uint8_t address = 0;  // bit 7 set: IN
    EndpointType type = EndpointType::Bulk;
    std::uint16_t maxPacketSize = 0;
    bool isIn() const { return (address & 0x80) != 0; }
};

struct AltSettingDescription {
    std::uint8_t interfaceNumber = 0;
    std::uint8_t alternateSetting = 0;
    std::uint8_t interfaceClass = 0;
    std::vector<EndpointDescription> endpoints;
};

// What the host knows of a device without talking to it: its descriptors and
// where it is plugged in.
struct DeviceDescription {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t deviceRelease = 0;  // bcdDevice
    std::string speed;                // "high (480 Mbit/s)", ...
    int bus = 0;
    std::vector<std::uint8_t> portPath;  // hub ports from the root, e.g. {1, 4}
    int deviceAddress = 0;
    int configuration = 0;  // bConfigurationValue of the active configuration; 0 if unconfigured
    std::vector<AltSettingDescription> altSettings;  // of the active configuration
    std::string product;                             // iProduct string, empty if none or unreadable
    std::string serial;                              // iSerialNumber string, empty if none or unreadable
    TransferError openError = TransferError::None;   // why the device could not be opened, if it could not
};

// The thin layer between the board logic and a USB stack: transfers with
// timeouts on one opened device, and its re-enumeration.
//
// Contract: calls block until the transfer ends or its timeout passes. The
// board logic calls one method at a time (the library serialises calls on a
// board), but the backend may read description() from another thread, so
// implementations guard what re-enumeration changes. After the device has
// gone, every transfer returns NoDevice.
class Transport {
public:
    virtual ~Transport() = default;

    virtual DeviceDescription description() const = 0;
    // Optional: what the transport knows of the board beyond USB (a
    // simulated board's file, what it runs), read live; Fx2Board puts it at
    // the head of the board's endpoint information.
    virtual std::string note() const { return {}; }
    // Optional: a count that moves whenever the device may show something
    // new without leaving the bus (its EEPROM, firmware or FPGA design
    // changed: another program shares a simulated board); Fx2Board reads
    // the board again when it moved. 0 where nothing else reaches the device.
    virtual std::uint64_t changeCount() const { return 0; }

    // A control transfer; bit 7 of `requestType` gives the direction of the
    // data stage. `data` holds `length` bytes (to send, or room to receive).
    virtual TransferResult control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                   std::uint16_t index, std::uint8_t* data, std::size_t length,
                                   Milliseconds timeout) = 0;
    // A bulk or interrupt transfer on `endpoint` (bit 7: IN).
    virtual TransferResult bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                                Milliseconds timeout) = 0;
    virtual TransferResult interrupt(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                                     Milliseconds timeout) = 0;
    // Clears a halted (stalled) endpoint.
    virtual TransferResult clearHalt(std::uint8_t endpoint) = 0;

    // Waits, after the controller has been let out of reset, for the device
    // to leave and come back at the same port, then opens the new one so that
    // later calls and description() reach it. A device that does not leave
    // within `leaveWithin` is taken to run its new firmware without
    // re-enumerating (description() is then read again). Fails with Timeout
    // when it left but did not come back within `backWithin`.
    virtual TransferResult awaitReenumeration(Milliseconds leaveWithin, Milliseconds backWithin) = 0;
};

}  // namespace kousb::usb
