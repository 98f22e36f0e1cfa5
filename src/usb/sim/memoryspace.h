// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>
#include <cstdint>
#include <array>

namespace kousb::sim {

// A byte space reached through a 16-bit address counter: the external-bus
// memory, the FPGA's register file and the controller's memory space are
// each one of these, 64 KiB long. A transfer that runs past the last byte
// goes on at address 0, as the counter wraps; nothing is ever refused.
constexpr std::size_t kSpace16Bytes = 64 * 1024;

using Space16 = std::array<std::uint8_t, kSpace16Bytes>;

// Addresses are taken modulo the space's size.
void readSpace(const Space16& space, std::size_t address, std::uint8_t* data, std::size_t length);
void writeSpace(Space16& space, std::size_t address, const std::uint8_t* data, std::size_t length);

}  // namespace kousb::sim
