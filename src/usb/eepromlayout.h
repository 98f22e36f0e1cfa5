#pragma once
#include "board.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kousb {

// Layout of a board's boot EEPROM (a 24LC128-class part, 16 KiB).
//
// The controller's boot loader owns the start of the EEPROM (0xC0/0xC2
// header and firmware records), so the board's identity sits in a block of
// its own near the end, where a firmware image does not normally reach:
//
//   offset  size  content
//   0x3F00  4     magic "KOID"
//   0x3F04  1     layout version (1)
//   0x3F05  1     device class
//   0x3F06  2     firmware version, little-endian
//   0x3F08  4     board ID, signed, little-endian
//   0x3F0C  32    name, Latin-1, NUL-terminated and NUL-padded (at most 31 characters)
//
// An EEPROM without the magic (erased: all 0xFF) reads as ID 0, class 0,
// firmware version 0 and an empty name. Writing one field of such an EEPROM
// first lays down an empty block.
namespace eeprom {

constexpr std::size_t kSize = 16 * 1024;
constexpr std::size_t kPageSize = 64;
constexpr std::uint8_t kErased = 0xFF;

constexpr std::size_t kIdentityOffset = 0x3F00;
constexpr std::size_t kMagicOffset = kIdentityOffset;
constexpr std::size_t kVersionOffset = kIdentityOffset + 4;
constexpr std::size_t kClassOffset = kIdentityOffset + 5;
constexpr std::size_t kFirmwareVersionOffset = kIdentityOffset + 6;
constexpr std::size_t kIdOffset = kIdentityOffset + 8;
constexpr std::size_t kNameOffset = kIdentityOffset + 12;
constexpr std::size_t kNameFieldSize = 32;
constexpr std::size_t kMaxNameLength = kNameFieldSize - 1;
constexpr std::size_t kIdentityBlockSize = 12 + kNameFieldSize;

BoardIdentity readIdentity(const std::vector<std::uint8_t>& image);

// Each writer lays down an empty identity block first when there is none.
void writeId(std::vector<std::uint8_t>& image, std::int32_t id);
void writeClass(std::vector<std::uint8_t>& image, std::uint8_t deviceClass);
void writeFirmwareVersion(std::vector<std::uint8_t>& image, std::uint16_t version);
// Refuses (returns false, changes nothing) a name longer than kMaxNameLength
// or one holding a NUL.
bool writeName(std::vector<std::uint8_t>& image, const std::string& name);

} // namespace eeprom
} // namespace kousb
