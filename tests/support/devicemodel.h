// SPDX-License-Identifier: MIT
#pragma once
// What an emulated board does with the transfers that reach it, whatever
// carries them there (usbfs under umockdev, say). The carrier asks; the model
// answers with bytes, a stall, a NAK (nothing to give yet: the transfer waits
// for more, or for its timeout), an overflow (the board sent more than the
// transfer had room for) or "gone" (the board has been unplugged).
#include "controller.h"

#include <cstddef>
#include <cstdint>

using ModelReply = fwmodel::Reply;

class DeviceModel {
public:
    virtual ~DeviceModel() = default;

    // The board is plugged in (or comes back): a bus reset, before any
    // transfer. A board that cannot tell ignores it.
    virtual void attach() {}

    // A control transfer: `setup` is the 8-byte SETUP packet, `data` holds
    // its wLength bytes (OUT: to take; IN: room for the answer).
    virtual ModelReply control(const std::uint8_t* setup, std::uint8_t* data) = 0;
    // A bulk or interrupt transfer on `endpoint` (bit 7: IN).
    virtual ModelReply transfer(std::uint8_t endpoint, bool interrupt, std::uint8_t* data, std::size_t length) = 0;
    // CLEAR_FEATURE(ENDPOINT_HALT); false when the board has gone.
    virtual bool clearHalt(std::uint8_t endpoint) = 0;

    // The product ID the board enumerates with now (it changes once our
    // firmware runs).
    virtual std::uint16_t productId() const = 0;
    // True when the board runs at full speed (bulk packets of 64 bytes, not 512).
    virtual bool fullSpeed() const { return false; }
    // True once after the controller's CPU was let out of reset: the board
    // drops off the bus and comes back with its new firmware.
    virtual bool takeRelease() = 0;
    // True once the board has gone for good: it left the bus and will not
    // come back.
    virtual bool gone() const { return false; }
};
