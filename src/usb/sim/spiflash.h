// SPDX-License-Identifier: MIT
#pragma once
#include "../status.h"

#include <cstddef>
#include <cstdint>

namespace kousb::sim {

// The serial flash on the board's SPI bus, an M25P16-class part of 2 MiB
// (big enough for the FPGA's configuration), byte-addressed 0 to 0x1FFFFF by
// the call's int address. A transfer must lie wholly inside the flash: a
// negative address, or one where address + length passes the end, is refused
// (OutOfRange) and nothing moves; a zero-length transfer needs an address
// inside the flash. A write replaces the bytes (the board's firmware erases
// and reprograms the sectors it touches); erased bytes read 0xFF. Plain data
// that lives in the board's shared state; all zero bytes are an erased flash,
// so a zero-filled state is a freshly powered board.
class SpiFlash {
public:
    static constexpr std::size_t kSize = 2 * 1024 * 1024;

    Status read(std::int32_t address, std::uint8_t* data, std::size_t length) const;
    Status write(std::int32_t address, const std::uint8_t* data, std::size_t length);

private:
    static Status check(std::int32_t address, std::size_t length);
    bool m_written = false;  // until the first write, all erased
    std::uint8_t m_bytes[kSize];
};

}  // namespace kousb::sim
