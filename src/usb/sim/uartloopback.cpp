// SPDX-License-Identifier: MIT
#include "uartloopback.h"

namespace kousb::sim {

void UartLoopback::write(const std::uint8_t* data, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        if (m_size < kCapacity)
            m_queue[(m_head + m_size++) % kCapacity] = data[i];
        else
            m_overrun = true;
    }
}

std::size_t UartLoopback::read(std::uint8_t* data, std::size_t length)
{
    std::size_t taken = 0;
    while (taken < length && m_size > 0) {
        data[taken++] = m_queue[m_head];
        m_head = (m_head + 1) % kCapacity;
        --m_size;
    }
    return taken;
}

}  // namespace kousb::sim
