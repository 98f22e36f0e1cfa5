// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kousb::usb {

struct UsbId {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    bool operator==(const UsbId& o) const { return vendor == o.vendor && product == o.product; }
};

// The pairs looked for without being told: the controller's boot state and
// the pair our board firmware enumerates with (docs/board-protocol.md).
std::vector<UsbId> defaultUsbIds();

// Parses "1234:5678,04b4:1004" (hexadecimal, spaces around entries allowed,
// empty entries skipped) and appends the pairs to `out`. Returns false and
// says which entry was wrong if one is not VVVV:PPPP; the good entries are
// appended all the same.
bool parseUsbIds(const std::string& text, std::vector<UsbId>& out, std::string& error);

// A device's place as Linux names it: the bus, then the hub ports from the
// root joined by dots ("1-2.3"); "usb1" for bus 1's root hub itself.
std::string usbPlace(int bus, const std::vector<std::uint8_t>& ports);

}  // namespace kousb::usb
