#include "i2ceeprom.h"

#include "../eepromlayout.h"

namespace kousb::sim {

void I2cEeprom::write(std::vector<std::uint8_t>& image, const std::uint8_t* data, std::size_t length)
{
    if (length < 2 || image.empty())
        return;
    const std::size_t size = image.size();
    std::size_t at = (static_cast<std::size_t>(data[0]) << 8 | data[1]) % size;
    const std::size_t pageStart = at - at % eeprom::kPageSize;
    for (std::size_t i = 2; i < length; ++i) {
        image[at] = data[i];
        at = pageStart + (at + 1 - pageStart) % eeprom::kPageSize;
    }
    m_counter = at;
}

void I2cEeprom::read(const std::vector<std::uint8_t>& image, std::uint8_t* data, std::size_t length)
{
    if (image.empty())
        return;
    for (std::size_t i = 0; i < length; ++i) {
        data[i] = image[m_counter];
        m_counter = (m_counter + 1) % image.size();
    }
}

} // namespace kousb::sim
