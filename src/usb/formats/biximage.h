// SPDX-License-Identifier: MIT
#pragma once
#include "../status.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kousb::formats {

// Reads a raw controller image (.bix): byte i of the file is the byte for
// address i, from 0. Refuses an empty file, and one larger than
// `memorySize` without reading it.
Status readBixImage(const std::string& path, std::size_t memorySize, std::vector<std::uint8_t>& image);

}  // namespace kousb::formats
