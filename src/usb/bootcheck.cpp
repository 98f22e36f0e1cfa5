// SPDX-License-Identifier: MIT
#include "bootcheck.h"

#include "eepromlayout.h"

#include <cstdio>
#include <string>

namespace kousb {

namespace {

Status notBootable(const std::string& why)
{
    return Status::error(ErrorCode::BadFile, std::string(kNotBootable) + ": " + why);
}

// An ID the boot ROM's host would see as no ID at all (all 0 or, as an erased EEPROM reads, all 1).
bool blankId(std::uint16_t id) { return id == 0x0000 || id == 0xFFFF; }

std::string hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
    return text;
}

}  // namespace

Status checkBootable(const formats::EepromBytes& read, std::size_t eepromSize)
{
    if (eepromSize == 0)
        return Status::ok();
    std::uint8_t first = 0;
    if (Status s = read(0, &first, 1); !s)
        return s;
    if (first != 0xC2)
        return Status::ok();
    formats::C2Header header;
    std::size_t length = 0;
    if (Status s = formats::walkC2Image(read, eepromSize, header, length); !s)
        return s.code() == ErrorCode::BadFile ? notBootable(s.detail()) : s;
    if (blankId(header.vendorId) || blankId(header.productId))
        return notBootable("the header gives vendor:product " + hex4(header.vendorId) + ":" + hex4(header.productId)
                           + "; a boot image needs IDs other than 0000 and FFFF");
    if (eepromSize > eeprom::kIdentityOffset && length > eeprom::kIdentityOffset)
        return notBootable("its records run up to EEPROM offset 0x" + hex4(unsigned(length - 1))
                           + ", into the identity block at 0x" + hex4(eeprom::kIdentityOffset)
                           + " where the board keeps its ID and name");
    return Status::ok();
}

}  // namespace kousb
