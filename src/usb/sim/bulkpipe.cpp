// SPDX-License-Identifier: MIT
#include "bulkpipe.h"

#include <algorithm>
#include <cstring>

namespace kousb::sim {

std::size_t BulkPipe::write(const std::uint8_t* data, std::size_t length)
{
    const std::size_t kept = std::min(length, kCapacity - m_size);
    std::size_t tail = (m_head + m_size) % kCapacity;
    std::size_t done = 0;
    while (done < kept) {
        const std::size_t chunk = std::min(kept - done, kCapacity - tail);
        std::memcpy(m_ring + tail, data + done, chunk);
        done += chunk;
        tail = (tail + chunk) % kCapacity;
    }
    m_size += kept;
    return kept;
}

std::size_t BulkPipe::read(std::uint8_t* data, std::size_t length)
{
    const std::size_t fromFifo = std::min(length, m_size);
    std::size_t done = 0;
    while (done < fromFifo) {
        const std::size_t chunk = std::min(fromFifo - done, kCapacity - m_head);
        std::memcpy(data + done, m_ring + m_head, chunk);
        done += chunk;
        m_head = (m_head + chunk) % kCapacity;
    }
    m_size -= fromFifo;
    if (m_size == 0)
        m_head = 0;
    std::uint8_t counter = m_counter;
    for (std::size_t i = fromFifo; i < length; ++i)
        data[i] = counter++;
    m_counter = counter;
    return fromFifo;
}

}  // namespace kousb::sim
