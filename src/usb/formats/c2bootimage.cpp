// SPDX-License-Identifier: MIT
#include "c2bootimage.h"

#include <algorithm>
#include <cstdio>

namespace kousb::formats {

namespace {

constexpr std::uint16_t kCpucs = 0xE600;
constexpr std::uint16_t kLastRecord = 0x8000;

bool internal(std::size_t address) { return address < 0x4000 || (address >= 0xE000 && address < 0xE200); }

void put16be(std::vector<std::uint8_t>& out, std::size_t value)
{
    out.push_back(std::uint8_t(value >> 8));
    out.push_back(std::uint8_t(value));
}

Status refused(const char* what, std::size_t offset)
{
    char text[96];
    std::snprintf(text, sizeof text, "C2 image: %s at offset 0x%04zX", what, offset);
    return Status::error(ErrorCode::BadFile, text);
}

}  // namespace

Status encodeC2BootImage(const C2Header& header, const std::vector<std::uint8_t>& bytes,
                         const std::vector<bool>& present, std::vector<std::uint8_t>& eeprom)
{
    std::vector<std::uint8_t> out = {0xC2,
                                     std::uint8_t(header.vendorId),
                                     std::uint8_t(header.vendorId >> 8),
                                     std::uint8_t(header.productId),
                                     std::uint8_t(header.productId >> 8),
                                     std::uint8_t(header.deviceId),
                                     std::uint8_t(header.deviceId >> 8),
                                     header.config};
    const std::size_t end = std::min(bytes.size(), present.size());
    bool any = false;
    for (std::size_t a = 0; a < end;) {
        if (!present[a]) {
            ++a;
            continue;
        }
        if (!internal(a)) {
            char text[80];
            std::snprintf(text, sizeof text, "data at 0x%04zX, outside the controller's internal memory", a);
            return Status::error(ErrorCode::BadFile, text);
        }
        std::size_t run = a;
        while (run < end && present[run] && internal(run) && run - a < kC2MaxRecord)
            ++run;
        put16be(out, run - a);
        put16be(out, a);
        out.insert(out.end(), bytes.begin() + long(a), bytes.begin() + long(run));
        any = true;
        a = run;
    }
    if (!any)
        return Status::error(ErrorCode::BadFile, "no data in the firmware image");
    put16be(out, kLastRecord | 1);
    put16be(out, kCpucs);
    out.push_back(0x00);
    eeprom = std::move(out);
    return Status::ok();
}

Status decodeC2BootImage(const std::uint8_t* data, std::size_t size, C2Image& out)
{
    C2Image image;
    if (size < 8 || data[0] != 0xC2)
        return refused("no 0xC2 header", 0);
    image.header.vendorId = std::uint16_t(data[1] | data[2] << 8);
    image.header.productId = std::uint16_t(data[3] | data[4] << 8);
    image.header.deviceId = std::uint16_t(data[5] | data[6] << 8);
    image.header.config = data[7];
    std::size_t at = 8;
    for (;;) {
        if (at + 4 > size)
            return refused("no last record", at);
        const std::size_t word = std::size_t(data[at]) << 8 | data[at + 1];
        const std::size_t length = word & 0x3FF;
        const std::size_t address = std::size_t(data[at + 2]) << 8 | data[at + 3];
        const bool last = (word & kLastRecord) != 0;
        if (at + 4 + length > size)
            return refused("a record running past the end", at);
        if (last) {
            if (length != 1 || address != kCpucs || data[at + 4] != 0x00)
                return refused("a last record that does not start the CPU", at);
            image.length = at + 5;
            out = std::move(image);
            return Status::ok();
        }
        if (length == 0 || (word & 0x7C00) != 0)
            return refused("a record length outside 1-1023", at);
        if (!internal(address) || !internal(address + length - 1))
            return refused("a record outside internal memory", at);
        for (std::size_t i = 0; i < length; ++i) {
            image.bytes[address + i] = data[at + 4 + i];
            image.present[address + i] = true;
        }
        at += 4 + length;
    }
}

}  // namespace kousb::formats
