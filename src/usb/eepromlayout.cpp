// SPDX-License-Identifier: MIT
#include "eepromlayout.h"

#include <algorithm>
#include <cstring>

namespace kousb::eeprom {

namespace {

const std::uint8_t kMagic[4] = {KOUSB_ID_MAGIC0, KOUSB_ID_MAGIC1, KOUSB_ID_MAGIC2, KOUSB_ID_MAGIC3};
constexpr std::uint8_t kLayoutVersion = KOUSB_ID_LAYOUT_VERSION;

bool hasBlock(const std::vector<std::uint8_t>& image)
{
    return image.size() >= kIdentityOffset + kIdentityBlockSize
           && std::equal(std::begin(kMagic), std::end(kMagic), image.begin() + kMagicOffset);
}

void ensureBlock(std::vector<std::uint8_t>& image)
{
    if (image.size() < kSize)
        image.resize(kSize, kErased);
    if (hasBlock(image))
        return;
    std::fill_n(image.begin() + kIdentityOffset, kIdentityBlockSize, 0);
    std::copy(std::begin(kMagic), std::end(kMagic), image.begin() + kMagicOffset);
    image[kVersionOffset] = kLayoutVersion;
}

}  // namespace

BoardIdentity readIdentity(const std::vector<std::uint8_t>& image)
{
    BoardIdentity identity;
    if (!hasBlock(image))
        return identity;
    identity.deviceClass = image[kClassOffset];
    identity.firmwareVersion = image[kFirmwareVersionOffset] | (image[kFirmwareVersionOffset + 1] << 8);
    std::uint32_t id = 0;
    for (int i = 3; i >= 0; --i)
        id = (id << 8) | image[kIdOffset + i];
    identity.id = static_cast<std::int32_t>(id);
    const auto nameBegin = image.begin() + kNameOffset;
    const auto nameEnd = std::find(nameBegin, nameBegin + kMaxNameLength, 0);
    identity.name.assign(nameBegin, nameEnd);
    return identity;
}

void writeId(std::vector<std::uint8_t>& image, std::int32_t id)
{
    ensureBlock(image);
    const auto value = static_cast<std::uint32_t>(id);
    for (int i = 0; i < 4; ++i)
        image[kIdOffset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void writeClass(std::vector<std::uint8_t>& image, std::uint8_t deviceClass)
{
    ensureBlock(image);
    image[kClassOffset] = deviceClass;
}

void writeFirmwareVersion(std::vector<std::uint8_t>& image, std::uint16_t version)
{
    ensureBlock(image);
    image[kFirmwareVersionOffset] = static_cast<std::uint8_t>(version & 0xFF);
    image[kFirmwareVersionOffset + 1] = static_cast<std::uint8_t>(version >> 8);
}

bool writeName(std::vector<std::uint8_t>& image, const std::string& name)
{
    if (name.size() > kMaxNameLength || name.find('\0') != std::string::npos)
        return false;
    ensureBlock(image);
    std::fill_n(image.begin() + kNameOffset, kNameFieldSize, 0);
    std::copy(name.begin(), name.end(), image.begin() + kNameOffset);
    return true;
}

}  // namespace kousb::eeprom
