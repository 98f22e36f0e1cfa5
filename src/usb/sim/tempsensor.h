// SPDX-License-Identifier: MIT
#pragma once
#include "../status.h"

#include <cstddef>
#include <cstdint>

namespace kousb::sim {

// The board's temperature sensor, an LM75-compatible part at 7-bit I2C
// address 0x48. It reads a steady 25.5 °C.
//
// A write is [pointer, register bytes...]: the pointer selects a register
//   0  temperature, 2 bytes, read-only
//   1  configuration, 1 byte
//   2  hysteresis (T_HYST), 2 bytes, power-up 75 °C
//   3  overtemperature (T_OS), 2 bytes, power-up 80 °C
// and the bytes after it, most significant first, set that register once all
// of its bytes are given; writes to the temperature register and bytes
// beyond the register are ignored. A pointer above 3 is not acknowledged.
// No bytes: an address probe. Temperatures are two's complement in the top
// 9 bits, 0.5 °C per step (25.5 °C reads 19 80).
// A read returns the selected register, most significant byte first, over
// and over for as many bytes as are asked. The pointer stays where it was.
class TempSensor {
public:
    static constexpr std::uint8_t kAddress = 0x48;
    static constexpr int kHalfDegrees = 51;  // 25.5 °C

    Status write(const std::uint8_t* data, std::size_t length);
    void read(std::uint8_t* data, std::size_t length) const;

    // The temperature in whole degrees Celsius, rounded down.
    static int wholeDegrees();

private:
    std::uint8_t m_pointer = 0;
    std::uint8_t m_config = 0;
    std::uint16_t m_hysteresis = 75 << 8;
    std::uint16_t m_overtemperature = 80 << 8;
};

}  // namespace kousb::sim
