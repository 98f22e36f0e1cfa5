// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>
#include <cstdint>

namespace kousb::sim {

// The board's boot EEPROM as a 24LC128-class chip answers on the I2C bus,
// at 7-bit address 0x51 (where an FX2-family controller looks for a large
// EEPROM with two-byte offsets). The bytes themselves are the board's EEPROM
// image; this class is the chip's protocol and its address counter.
//
// A write is [offset high, offset low, data...]:
//   - no bytes: an address probe; the chip answers and nothing changes;
//   - one byte: an incomplete offset; the chip drops it, nothing changes;
//   - two bytes: sets the address counter (how a read is pointed somewhere);
//   - more: the data go to the offset and on, wrapping within the 64-byte
//     page as the chip's page buffer does; the counter ends after the last
//     byte written (in the same page).
// A read starts at the address counter and continues sequentially through
// the whole chip, wrapping from the last byte to 0; the counter moves on.
// So to read back what was written: write the two offset bytes, then read.
// The offset's top bits beyond the chip's 16 KiB are ignored, as on the
// 24LC128. The counter is part of the board's shared state and starts at 0
// when the board is powered.
class I2cEeprom {
public:
    static constexpr std::uint8_t kAddress = 0x51;

    // True when a write of `length` bytes changes the image (data follow
    // the offset), so that the caller knows to persist it.
    static bool writesData(std::size_t length) { return length > 2; }

    void write(std::uint8_t* image, std::size_t size, const std::uint8_t* data, std::size_t length);
    void read(const std::uint8_t* image, std::size_t size, std::uint8_t* data, std::size_t length);

    std::size_t addressCounter() const { return m_counter; }

private:
    std::uint32_t m_counter = 0;
};

}  // namespace kousb::sim
