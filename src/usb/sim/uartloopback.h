// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>
#include <cstdint>

namespace kousb::sim {

// The UART with its transmit line looped back to its receive line: bytes
// written arrive in a receive queue of kCapacity bytes, in order. Bytes that
// arrive while the queue is full are lost and set the overrun flag (shown in
// the interrupt status report), as a real receiver overruns; the write itself
// succeeds. A read takes up to the bytes asked for from the front of the
// queue and says how many it took; it never waits, and it leaves the rest of
// the caller's buffer as it was. Plain data, so it can live in the board's
// shared state.
class UartLoopback {
public:
    static constexpr std::size_t kCapacity = 256;

    void write(const std::uint8_t* data, std::size_t length);
    std::size_t read(std::uint8_t* data, std::size_t length);

    std::size_t queued() const { return m_size; }
    bool overrun() const { return m_overrun; }
    void clearOverrun() { m_overrun = false; }

private:
    std::uint8_t m_queue[kCapacity] = {};
    std::uint32_t m_head = 0;  // index of the oldest byte
    std::uint32_t m_size = 0;
    bool m_overrun = false;
};

}  // namespace kousb::sim
