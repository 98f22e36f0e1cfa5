// SPDX-License-Identifier: MIT
#pragma once
#include "../board.h"
#include "fx2loader.h"
#include "transport.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kousb::usb {

// A real board built on an 8051-core USB 2.0 controller, written once against
// a Transport: descriptor reading, the controller's memory and firmware
// loading (fx2loader.h) and our firmware's vendor requests
// (docs/board-protocol.md).
//
// The constructor asks the board what it runs (the version request); a board
// that does not answer is in its boot state and serves only the 0xA0
// operations and the bulk and interrupt endpoints it has. Once the device has
// gone, every call fails with "board unplugged".
class Fx2Board : public Board {
public:
    // `onChange` is called (on the calling thread) when the board came back
    // from re-enumeration with new descriptors.
    Fx2Board(std::shared_ptr<Transport> transport, std::function<void()> onChange = {});

    bool runsOurFirmware() const { return m_ourFirmware; }
    // May be asked from another thread than the one calling the board.
    bool gone() const { return m_gone; }

    BoardIdentity identity() override;
    std::string endpointInfo() override;
    std::string place() override;
    std::string serial() override;
    Status reloadIdentity() override;

    Status readExternal(std::uint16_t address, std::uint8_t* data, std::size_t length) override;
    Status writeExternal(std::uint16_t address, const std::uint8_t* data, std::size_t length) override;
    Status readXilinx(std::uint16_t address, std::uint8_t* data, std::size_t length) override;
    Status writeXilinx(std::uint16_t address, const std::uint8_t* data, std::size_t length) override;
    Status read8051(std::uint16_t address, std::uint8_t* data, std::size_t length) override;
    Status write8051(std::uint16_t address, const std::uint8_t* data, std::size_t length) override;
    Status readI2C(std::uint8_t address, std::uint8_t* data, std::size_t length) override;
    Status writeI2C(std::uint8_t address, const std::uint8_t* data, std::size_t length) override;
    Status readSPI(std::int32_t address, std::uint8_t* data, std::size_t length) override;
    Status writeSPI(std::int32_t address, const std::uint8_t* data, std::size_t length) override;
    Status readSerial(std::uint8_t* data, std::size_t length, std::size_t& received) override;
    Status writeSerial(const std::uint8_t* data, std::size_t length) override;
    Status writeCommand(const std::uint8_t* data, std::size_t length) override;
    Status readInterrupt(std::uint8_t* report) override;
    Status writeInterrupt(const std::uint8_t* report) override;
    Status readBlock(std::uint8_t* data, std::size_t length) override;
    Status writeBlock(const std::uint8_t* data, std::size_t length) override;

    Status downloadXilinx(const std::string& path) override;
    Status loadFirmware(const std::string& path) override;
    Status loadFirmwareWaiting(const std::string& path, std::chrono::milliseconds backWithin) override;
    Status loadEepromImage(const std::string& path) override;
    Status loadEepromImageWithProgress(const std::string& path, const EepromFlashOptions& options,
                                       EepromFlashReport& report) override;
    std::size_t eepromSize() override;
    Status readEeprom(std::size_t offset, std::uint8_t* data, std::size_t length) override;

    Status writeId(std::int32_t id) override;
    Status writeName(const std::string& name) override;
    Status writeClass(std::uint8_t deviceClass) override;

private:
    // Reads the descriptors and what the board runs; called again after a firmware load.
    void probe(bool firmwareLoaded = false);
    Status checkPlugged() const;
    // Maps a failed transfer; a vanished device marks the board gone.
    Status failed(const TransferResult& result, const std::string& context);
    // One vendor request of our protocol (its capability, name and time
    // limit from protocol::kRequests; `timeout` overrides the limit if set).
    // A stalled request is followed by the error request, whose code becomes the reason.
    Status vendorRequest(bool in, std::uint8_t request, std::uint16_t value, std::uint16_t index, std::uint8_t* data,
                         std::size_t length, std::size_t& transferred, Milliseconds timeout = Milliseconds(0));
    Status vendorOut(std::uint8_t request, std::uint16_t value, std::uint16_t index, const std::uint8_t* data,
                     std::size_t length, Milliseconds timeout = Milliseconds(0));
    // Reads exactly `length` bytes; a short reply is a fault.
    Status vendorIn(std::uint8_t request, std::uint16_t value, std::uint16_t index, std::uint8_t* data,
                    std::size_t length);
    // The address-carrying requests, split into data stages of at most kMaxRequestData.
    Status addressedRead(std::uint8_t request, std::uint16_t address, std::uint8_t* data, std::size_t length);
    Status addressedWrite(std::uint8_t request, std::uint16_t address, const std::uint8_t* data, std::size_t length);
    Status requireCapability(std::uint8_t request, bool in) const;
    // A loader call's outcome; a vanished device marks the board gone.
    Status loaderStatus(Status status);
    // After the CPU was let run: the board as it came back, or gone.
    Status followRestart(Status started, bool gone);
    Status readIdentity();
    Status writeIdentityField(std::uint16_t field, const std::uint8_t* data, std::size_t length);
    const EndpointDescription* firstEndpoint(EndpointType type, bool in) const;
    // `status` of an SPI transfer, with the flash's bounds when out of range.
    Status spiStatus(Status status, std::int32_t address, std::size_t length) const;
    // The packet size of that endpoint (0 without one).
    std::size_t packetSize(EndpointType type, bool in) const;
    // Moves `length` bytes; a transfer that moves fewer than `needed` (0: `length`) fails.
    Status endpointTransfer(EndpointType type, bool in, std::uint8_t* data, std::size_t length, const char* operation,
                            std::size_t needed = 0);

    std::shared_ptr<Transport> m_transport;
    Fx2Loader m_loader{*m_transport};
    std::function<void()> m_onChange;
    DeviceDescription m_description;
    std::atomic<bool> m_gone{false};
    bool m_accessDenied = false;
    bool m_ourFirmware = false;
    int m_protocolMajor = 0;
    int m_protocolMinor = 0;
    std::uint16_t m_capabilities = 0;
    std::uint16_t m_errorDetail = 0;  // of the last error reply
    std::uint64_t m_changesSeen = 0;  // the transport's changeCount() when the board was last read
    std::string m_fpgaPart;
    BoardIdentity m_identity;
    std::vector<std::uint8_t> m_staging;  // reads land here first, so a failed read leaves the caller's buffer alone
};

}  // namespace kousb::usb
