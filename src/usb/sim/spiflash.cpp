// SPDX-License-Identifier: MIT
#include "spiflash.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace kousb::sim {

namespace {

constexpr std::uint8_t kErased = 0xFF;

}  // namespace

Status SpiFlash::check(std::int32_t address, std::size_t length)
{
    if (address < 0 || static_cast<std::size_t>(address) >= kSize
        || length > kSize - static_cast<std::size_t>(address)) {
        char range[96];
        std::snprintf(range, sizeof range, "the SPI flash holds bytes 0x000000 to 0x%06zX, not %zu at %ld", kSize - 1,
                      length, static_cast<long>(address));
        return Status::error(ErrorCode::OutOfRange, range);
    }
    return Status::ok();
}

Status SpiFlash::read(std::int32_t address, std::uint8_t* data, std::size_t length) const
{
    if (Status s = check(address, length); !s)
        return s;
    if (!m_written)
        std::fill_n(data, length, kErased);
    else
        std::copy_n(m_bytes + address, length, data);
    return Status::ok();
}

Status SpiFlash::write(std::int32_t address, const std::uint8_t* data, std::size_t length)
{
    if (Status s = check(address, length); !s)
        return s;
    if (length == 0)
        return Status::ok();
    if (!m_written) {
        std::fill_n(m_bytes, kSize, kErased);
        m_written = true;
    }
    std::copy_n(data, length, m_bytes + address);
    return Status::ok();
}

}  // namespace kousb::sim
