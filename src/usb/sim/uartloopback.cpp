#include "uartloopback.h"

namespace kousb::sim {

void UartLoopback::write(const std::uint8_t* data, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        if (m_queue.size() < kCapacity)
            m_queue.push_back(data[i]);
        else
            m_overrun = true;
    }
}

std::size_t UartLoopback::read(std::uint8_t* data, std::size_t length)
{
    std::size_t taken = 0;
    while (taken < length && !m_queue.empty()) {
        data[taken++] = m_queue.front();
        m_queue.pop_front();
    }
    return taken;
}

} // namespace kousb::sim
