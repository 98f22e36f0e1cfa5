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

std::string hex(std::size_t value, int digits = 4)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*zX", digits, value);
    return text;
}

Status refused(const std::string& what) { return Status::error(ErrorCode::BadFile, what); }

std::string recordAt(std::size_t number, std::size_t offset)
{
    return "record " + std::to_string(number) + " at EEPROM offset " + hex(offset);
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

Status walkC2Image(const EepromBytes& read, std::size_t size, C2Header& header, std::size_t& length,
                   const C2RecordSink& onRecord)
{
    std::uint8_t head[8];
    if (size < sizeof head)
        return refused("the 8-byte header does not fit the " + std::to_string(size) + "-byte EEPROM");
    if (Status s = read(0, head, sizeof head); !s)
        return s;
    if (head[0] != 0xC2)
        return refused("the first byte is " + hex(head[0], 2) + ", not 0xC2");
    header.vendorId = std::uint16_t(head[1] | head[2] << 8);
    header.productId = std::uint16_t(head[3] | head[4] << 8);
    header.deviceId = std::uint16_t(head[5] | head[6] << 8);
    header.config = head[7];
    std::vector<std::uint8_t> data;
    std::size_t at = sizeof head;
    for (std::size_t number = 1;; ++number) {
        if (at + 4 > size)
            return refused("no closing record (80 01 E6 00 00) before the end of the " + std::to_string(size)
                           + "-byte EEPROM, after " + std::to_string(number - 1) + " records");
        std::uint8_t fields[4];
        if (Status s = read(at, fields, sizeof fields); !s)
            return s;
        const std::size_t word = std::size_t(fields[0]) << 8 | fields[1];
        const std::size_t count = word & 0x3FF;
        const std::uint16_t address = std::uint16_t(fields[2] << 8 | fields[3]);
        const std::string where = recordAt(number, at);
        // Bits 14-10 of the length word are not part of any length the boot ROM takes.
        if (count == 0 || (word & 0x7C00) != 0)
            return refused(where + ": length word " + hex(word)
                           + ", a record holds 1 to 1023 bytes (bit 15 marks the last)");
        if (at + 4 + count > size)
            return refused(where + " (" + std::to_string(count) + " bytes) runs past the end of the "
                           + std::to_string(size) + "-byte EEPROM");
        if (word & kLastRecord) {
            std::uint8_t value = 0;
            if (count == 1) {
                if (Status s = read(at + 4, &value, 1); !s)
                    return s;
            }
            if (count != 1 || address != kCpucs)
                return refused(where + " is marked last but loads " + std::to_string(count) + " bytes to "
                               + hex(address) + "; the closing record writes 0x00 to CPUCS (0xE600)");
            if (value != 0x00)
                return refused(where + " writes " + hex(value, 2)
                               + " to CPUCS, which keeps the CPU in reset; the closing record writes 0x00");
            length = at + 5;
            return Status::ok();
        }
        if (!internal(address) || !internal(address + count - 1))
            return refused(where + " loads " + hex(address) + "-" + hex(address + count - 1)
                           + ", outside the controller's RAM (0x0000-0x3FFF, 0xE000-0xE1FF)");
        if (onRecord) {
            data.resize(count);
            if (Status s = read(at + 4, data.data(), count); !s)
                return s;
            if (Status s = onRecord(C2Record{number, at, count, address}, data.data()); !s)
                return s;
        }
        at += 4 + count;
    }
}

Status decodeC2BootImage(const std::uint8_t* data, std::size_t size, C2Image& out)
{
    C2Image image;
    const EepromBytes read = [data](std::size_t offset, std::uint8_t* bytes, std::size_t length) {
        std::copy_n(data + offset, length, bytes);
        return Status::ok();
    };
    const C2RecordSink keep = [&image](const C2Record& record, const std::uint8_t* bytes) {
        std::copy_n(bytes, record.length, image.bytes.begin() + record.address);
        std::fill_n(image.present.begin() + record.address, record.length, true);
        return Status::ok();
    };
    if (Status s = walkC2Image(read, size, image.header, image.length, keep); !s)
        return Status::error(s.code(), "C2 image: " + s.detail());
    out = std::move(image);
    return Status::ok();
}

}  // namespace kousb::formats
