// SPDX-License-Identifier: MIT
#pragma once
// A fuzz target's input, read front to back; past its end every byte is 0,
// so a short input still drives a whole run.
#include <cstddef>
#include <cstdint>

struct FuzzInput {
    const std::uint8_t* at;
    std::size_t left;
    bool empty() const { return left == 0; }
    std::uint8_t byte()
    {
        if (!left)
            return 0;
        --left;
        return *at++;
    }
    std::uint16_t word() { return std::uint16_t(byte() | byte() << 8); }
};
