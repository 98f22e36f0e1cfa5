// SPDX-License-Identifier: MIT
#include "i2ceeprom.h"

#include "../eepromlayout.h"

namespace kousb::sim {

void I2cEeprom::write(std::uint8_t* image, std::size_t size, const std::uint8_t* data, std::size_t length)
{
    if (length < 2 || size == 0)
        return;
    std::size_t at = (static_cast<std::size_t>(data[0]) << 8 | data[1]) % size;
    const std::size_t pageStart = at - at % eeprom::kPageSize;
    for (std::size_t i = 2; i < length; ++i) {
        image[at] = data[i];
        at = pageStart + (at + 1 - pageStart) % eeprom::kPageSize;
    }
    m_counter = static_cast<std::uint32_t>(at);
}

void I2cEeprom::read(const std::uint8_t* image, std::size_t size, std::uint8_t* data, std::size_t length)
{
    if (size == 0)
        return;
    for (std::size_t i = 0; i < length; ++i) {
        data[i] = image[m_counter % size];
        m_counter = static_cast<std::uint32_t>((m_counter + 1) % size);
    }
}

}  // namespace kousb::sim
