// SPDX-License-Identifier: MIT
#pragma once
// A Transport straight onto a DeviceModel, in process: the real-board logic
// (Fx2Board) on an emulated board without libusb. The board looks like the
// one on the emulated bus: 04b4 with the model's product ID, bus 1 port 2;
// running firmware, EP1 interrupt IN/OUT, EP2 bulk OUT, EP6 bulk IN
// (512-byte packets, 64 at full speed); in the boot state, the default
// interface's first alternate setting, without endpoints.
#include "devicemodel.h"
#include "libusb/transport.h"

#include <memory>
#include <mutex>
#include <set>

class ModelTransport : public kousb::usb::Transport {
public:
    explicit ModelTransport(std::shared_ptr<DeviceModel> model);

    // The device node cannot be opened by this user: every transfer fails.
    void denyAccess();
    // The descriptors leave out the endpoints of `type`.
    void removeEndpoints(kousb::usb::EndpointType type);

    kousb::usb::DeviceDescription description() const override;
    kousb::usb::TransferResult control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                       std::uint16_t index, std::uint8_t* data, std::size_t length,
                                       kousb::usb::Milliseconds timeout) override;
    kousb::usb::TransferResult bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                                    kousb::usb::Milliseconds timeout) override;
    kousb::usb::TransferResult interrupt(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                                         kousb::usb::Milliseconds timeout) override;
    kousb::usb::TransferResult clearHalt(std::uint8_t endpoint) override;
    // Comes back at once with a new address when the model's CPU was let
    // run and it left the bus; times out when it has gone.
    kousb::usb::TransferResult awaitReenumeration(kousb::usb::Milliseconds leaveWithin,
                                                  kousb::usb::Milliseconds backWithin) override;

private:
    // A NAK stands for the timeout the host would wait out.
    kousb::usb::TransferResult resultOf(const ModelReply& reply);
    bool refused(kousb::usb::TransferResult& result);

    std::shared_ptr<DeviceModel> m_model;
    mutable std::mutex m_mutex;
    int m_address = 2;
    bool m_gone = false;
    bool m_denied = false;
    std::set<kousb::usb::EndpointType> m_removed;
};

// Puts the real-board logic on `transport` into the library's registry, at
// `slot`, through a backend of its own: now, or at the next InitUSB. The
// backend takes the board out once it has gone, as the libusb backend does.
void installBoard(std::shared_ptr<kousb::usb::Transport> transport, int slot);
