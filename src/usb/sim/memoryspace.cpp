// SPDX-License-Identifier: MIT
#include "memoryspace.h"

namespace kousb::sim {

void readSpace(const Space16& space, std::size_t address, std::uint8_t* data, std::size_t length)
{
    const std::size_t size = space.size();
    for (std::size_t i = 0; i < length; ++i)
        data[i] = space[(address + i) % size];
}

void writeSpace(Space16& space, std::size_t address, const std::uint8_t* data, std::size_t length)
{
    const std::size_t size = space.size();
    for (std::size_t i = 0; i < length; ++i)
        space[(address + i) % size] = data[i];
}

}  // namespace kousb::sim
