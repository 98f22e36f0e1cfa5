// SPDX-License-Identifier: MIT
#include "i2cdevices.h"

#include <cmath>

bool Eeprom24lc128::select(bool read, std::uint64_t now)
{
    if (now < m_busyUntil)
        return false;  // writing its page: not even its address is acknowledged
    m_reading = read;
    m_addressBytes = 0;
    m_page.clear();  // a repeated START abandons a write that has not ended with a STOP
    return true;
}

bool Eeprom24lc128::write(std::uint8_t byte)
{
    if (m_reading)
        return false;
    if (m_addressBytes < 2) {
        m_pointer = std::uint16_t(((m_pointer << 8) | byte) & (kSize - 1));
        ++m_addressBytes;
        return true;
    }
    m_page.push_back(byte);
    return true;
}

std::uint8_t Eeprom24lc128::read()
{
    const std::uint8_t byte = memory[m_pointer];
    m_pointer = std::uint16_t((m_pointer + 1) & (kSize - 1));
    return byte;
}

void Eeprom24lc128::stop(std::uint64_t now)
{
    if (m_reading || m_page.empty())
        return;
    // The page buffer wraps: bytes past the page's end land at its start.
    const std::uint16_t page = std::uint16_t(m_pointer & ~(kPage - 1));
    for (std::size_t i = 0; i < m_page.size(); ++i)
        memory[page | ((m_pointer + i) & (kPage - 1))] = m_page[i];
    m_pointer = std::uint16_t(page | ((m_pointer + m_page.size()) & (kPage - 1)));
    m_page.clear();
    ++pageWrites;
    m_busyUntil = now + kWriteCycleNs;
}

bool Lm75::select(bool, std::uint64_t)
{
    m_pointerTaken = false;
    m_byte = 0;
    // The temperature register in its format: 9 bits, 0.5 degrees a step, left-aligned.
    const int halves = int(std::lround(celsius * 2));
    m_registers[0][0] = std::uint8_t(halves >> 1);
    m_registers[0][1] = std::uint8_t((halves & 1) << 7);
    return true;
}

bool Lm75::write(std::uint8_t byte)
{
    if (!m_pointerTaken) {
        m_pointer = byte & 3;
        m_pointerTaken = true;
    } else if (m_pointer != 0) {
        m_registers[m_pointer][m_byte++ & 1] = byte;
    }
    return true;
}

std::uint8_t Lm75::read()
{
    const int size = m_pointer == 1 ? 1 : 2;
    return m_registers[m_pointer][m_byte++ % size];
}
