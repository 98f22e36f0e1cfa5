// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>
#include <cstdint>

namespace kousb::sim {

// The data path behind a simulated board's "Block" endpoints (EP2 OUT, EP6
// IN): a loopback FIFO in the board's RAM and a pattern generator.
//
// Writes go into the FIFO, which holds at most kCapacity bytes, the size of
// the largest benchmark block, so one such block loops back whole. Bytes
// written while the FIFO is full are discarded (the firmware drains its
// endpoint into nothing rather than stall the host), so a write never fails
// for want of room. A read takes the queued bytes first, oldest first, and
// fills the rest from a free-running byte counter (0, 1, ..., 255, 0, ...)
// that continues from one read to the next; so a read of any size succeeds.
//
// Like the controller's memory, the FIFO and the counter are lost at
// power-off and are not kept in the board file. Plain data, so it can live in
// the board's shared state; the callers serialise the calls on one board.
class BulkPipe {
public:
    static constexpr std::size_t kCapacity = 64 * 1024;

    // Queues up to the free room of `data`; returns how many bytes were kept.
    std::size_t write(const std::uint8_t* data, std::size_t length);
    // Fills all `length` bytes: queued bytes first, then the counter.
    // Returns how many came from the FIFO.
    std::size_t read(std::uint8_t* data, std::size_t length);

    std::size_t queued() const { return m_size; }
    // The counter's next byte.
    std::uint8_t nextPatternByte() const { return m_counter; }

private:
    std::uint8_t m_ring[kCapacity] = {};
    std::size_t m_head = 0;  // index of the oldest queued byte
    std::size_t m_size = 0;  // bytes queued
    std::uint8_t m_counter = 0;
};

}  // namespace kousb::sim
