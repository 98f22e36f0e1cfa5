// SPDX-License-Identifier: MIT
#pragma once
#include "board.h"
#include "kousb_identity.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kousb {

// Layout of a board's boot EEPROM (a 24LC128-class part, 16 KiB).
//
// The controller's boot loader owns the start of the EEPROM (0xC0/0xC2
// header and firmware records), so the board's identity sits in a block of
// its own near the end, where a firmware image does not normally reach. Its
// layout is in src/protocol/kousb_identity.h, which the board firmware includes too.
//
// An EEPROM without the magic (erased: all 0xFF) reads as ID 0, class 0,
// firmware version 0 and an empty name. Writing one field of such an EEPROM
// first lays down an empty block.
namespace eeprom {

constexpr std::size_t kSize = KOUSB_EEPROM_SIZE;
constexpr std::size_t kPageSize = KOUSB_EEPROM_PAGE_SIZE;
constexpr std::uint8_t kErased = KOUSB_EEPROM_ERASED;

constexpr std::size_t kIdentityOffset = KOUSB_ID_OFFSET;
constexpr std::size_t kMagicOffset = KOUSB_ID_MAGIC_OFFSET;
constexpr std::size_t kVersionOffset = KOUSB_ID_VERSION_OFFSET;
constexpr std::size_t kClassOffset = KOUSB_ID_CLASS_OFFSET;
constexpr std::size_t kFirmwareVersionOffset = KOUSB_ID_FIRMWARE_VERSION_OFFSET;
constexpr std::size_t kIdOffset = KOUSB_ID_ID_OFFSET;
constexpr std::size_t kNameOffset = KOUSB_ID_NAME_OFFSET;
constexpr std::size_t kNameFieldSize = KOUSB_ID_NAME_FIELD_SIZE;
constexpr std::size_t kMaxNameLength = kNameFieldSize - 1;
constexpr std::size_t kIdentityBlockSize = KOUSB_ID_BLOCK_SIZE;

BoardIdentity readIdentity(const std::vector<std::uint8_t>& image);

// Each writer lays down an empty identity block first when there is none.
void writeId(std::vector<std::uint8_t>& image, std::int32_t id);
void writeClass(std::vector<std::uint8_t>& image, std::uint8_t deviceClass);
void writeFirmwareVersion(std::vector<std::uint8_t>& image, std::uint16_t version);
// Refuses (returns false, changes nothing) a name longer than kMaxNameLength
// or one holding a NUL.
bool writeName(std::vector<std::uint8_t>& image, const std::string& name);

}  // namespace eeprom
}  // namespace kousb
