// SPDX-License-Identifier: MIT
#pragma once
// The serial number our board firmware gives in its serial string
// descriptor: "KO" and the board's ID as eight upper-case hexadecimal digits
// (the ID as an unsigned 32-bit number), "KO0000002A" for ID 42. The
// firmware makes it from the ID in its EEPROM when it starts; a simulated
// board takes it from here, a real board's is read from its descriptor.
#include <cstdint>
#include <cstdio>
#include <string>

namespace kousb {

inline std::string firmwareSerial(std::int32_t id)
{
    char text[16];
    std::snprintf(text, sizeof text, "KO%08X", static_cast<unsigned>(static_cast<std::uint32_t>(id)));
    return text;
}

}  // namespace kousb
