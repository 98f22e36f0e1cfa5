#pragma once
// The host-compiled board firmware behind the Transport interface: control
// requests go through the firmware core as the controller's EP0 hands them
// over (SETUP, 64-byte data packets, status), the bulk and interrupt
// endpoints through its loopback and reports, on the chip models of
// firmware/host. A packet larger than what the host asked overflows, as on
// a real bus.
#include "libusb/transport.h"

class FirmwareTransport : public kousb::usb::Transport {
public:
    // Resets the chip models and starts the core with this board's profile.
    FirmwareTransport(std::uint16_t capabilities, const char* fpgaPart);

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

    int stalls() const { return m_stalls; }

private:
    std::uint8_t m_inBuffers[2][512] = {};
    int m_inSlot = 0;
    int m_stalls = 0;
};
