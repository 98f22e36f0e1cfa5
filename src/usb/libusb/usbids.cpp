// SPDX-License-Identifier: MIT
#include "usbids.h"

#include "kousb_protocol.h"

#include <cctype>

namespace kousb::usb {

std::vector<UsbId> defaultUsbIds()
{
    return {{KOUSB_BOOT_VID, KOUSB_BOOT_PID}, {KOUSB_FIRMWARE_VID, KOUSB_FIRMWARE_PID}};
}

namespace {

bool parseHex16(const std::string& text, std::uint16_t& value)
{
    if (text.empty() || text.size() > 4)
        return false;
    unsigned v = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        v = v * 16 + unsigned(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10);
    }
    value = std::uint16_t(v);
    return true;
}

std::string trimmed(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

}  // namespace

bool parseUsbIds(const std::string& text, std::vector<UsbId>& out, std::string& error)
{
    bool allGood = true;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        const std::string entry = trimmed(text.substr(start, comma - start));
        start = comma + 1;
        if (entry.empty())
            continue;
        const auto colon = entry.find(':');
        UsbId id;
        if (colon == std::string::npos || !parseHex16(entry.substr(0, colon), id.vendor)
            || !parseHex16(entry.substr(colon + 1), id.product)) {
            if (allGood)
                error = "'" + entry + "' is not vendor:product in hexadecimal";
            allGood = false;
            continue;
        }
        out.push_back(id);
    }
    return allGood;
}

std::string usbPlace(int bus, const std::vector<std::uint8_t>& ports)
{
    if (ports.empty())
        return "usb" + std::to_string(bus);
    std::string place = std::to_string(bus) + "-";
    for (std::size_t i = 0; i < ports.size(); ++i)
        place += (i ? "." : "") + std::to_string(ports[i]);
    return place;
}

}  // namespace kousb::usb
