// SPDX-License-Identifier: MIT
#include "intelhex.h"

#include "../atomicfile.h"
#include "filebytes.h"
#include "hexdigit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kousb::formats {

namespace {

constexpr std::size_t kFixedBytes = 5;  // length, address (2), type, checksum

std::string hex(unsigned long long value, int digits)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, value);
    return text;
}

std::string printable(std::uint8_t c)
{
    if (c >= 0x20 && c < 0x7F)
        return std::string("'") + char(c) + "'";
    return hex(c, 2);
}

// Parses one line (without its line end) into `image`; returns the reason it
// is refused, or an empty text. `done` becomes true at the end record.
class LineParser {
public:
    LineParser(std::size_t memorySize, const std::vector<HexRegion>& regions, HexImage& image)
        : m_memorySize(memorySize), m_regions(regions), m_image(image)
    {
    }

    std::string parse(const std::uint8_t* line, std::size_t length, bool& done)
    {
        if (line[0] != ':')
            return "does not start with ':'";
        const std::size_t digits = length - 1;
        if (digits % 2 != 0)
            return "odd number of hex digits";
        std::uint8_t record[kFixedBytes + 255];
        const std::size_t count = digits / 2;
        if (count < kFixedBytes)
            return "record too short (" + std::to_string(count) + " bytes)";
        if (count > sizeof record)
            return "record too long (" + std::to_string(count) + " bytes)";
        for (std::size_t i = 0; i < count; ++i) {
            const int hi = hexDigitValue(line[1 + 2 * i]);
            const int lo = hexDigitValue(line[2 + 2 * i]);
            if (hi < 0 || lo < 0) {
                const std::size_t column = hi < 0 ? 2 + 2 * i : 3 + 2 * i;
                return "not a hex digit: " + printable(line[column - 1]) + " at column " + std::to_string(column);
            }
            record[i] = static_cast<std::uint8_t>(hi << 4 | lo);
        }
        const std::size_t dataLength = record[0];
        if (dataLength != count - kFixedBytes)
            return "length byte says " + std::to_string(dataLength) + " data bytes, the line holds "
                   + std::to_string(count - kFixedBytes);
        unsigned sum = 0;
        for (std::size_t i = 0; i < count; ++i)
            sum += record[i];
        if ((sum & 0xFF) != 0)
            return "bad checksum";
        const unsigned offset = unsigned(record[1]) << 8 | record[2];
        const std::uint8_t type = record[3];
        const std::uint8_t* data = record + 4;
        switch (type) {
        case 0x00: return storeData(offset, data, dataLength);
        case 0x01:
            if (dataLength != 0)
                return "end-of-file record with data";
            done = true;
            return {};
        case 0x02:
        case 0x04: {
            if (dataLength != 2)
                return "address record of " + std::to_string(dataLength) + " bytes (2 expected)";
            const std::uint64_t value = unsigned(data[0]) << 8 | data[1];
            m_base = type == 0x02 ? value << 4 : value << 16;
            return {};
        }
        case 0x03:
        case 0x05:
            if (dataLength != 4)
                return "start address record of " + std::to_string(dataLength) + " bytes (4 expected)";
            return {};
        default: return "unknown record type " + hex(type, 2);
        }
    }

private:
    std::string storeData(unsigned offset, const std::uint8_t* data, std::size_t length)
    {
        const std::uint64_t start = m_base + offset;
        if (length > 0 && start + length > m_memorySize) {
            const std::uint64_t firstOutside = start < m_memorySize ? m_memorySize : start;
            return "data at " + hex(firstOutside, 4) + " beyond the " + std::to_string(m_memorySize) + "-byte memory";
        }
        for (std::size_t i = 0; i < length; ++i) {
            const std::size_t address = static_cast<std::size_t>(start) + i;
            if (!inRegion(address))
                return "data at " + hex(address, 4) + " outside the memory (" + regionList() + ")";
            if (m_image.present[address]) {
                if (m_image.bytes[address] != data[i])
                    return "overlaps earlier data at " + hex(address, 4) + " with a different byte";
                continue;
            }
            m_image.present[address] = true;
            m_image.bytes[address] = data[i];
            ++m_image.byteCount;
            if (address + 1 > m_image.endAddress)
                m_image.endAddress = address + 1;
        }
        return {};
    }

    bool inRegion(std::size_t address) const
    {
        if (m_regions.empty())
            return true;
        for (const HexRegion& r : m_regions)
            if (address >= r.begin && address < r.end)
                return true;
        return false;
    }

    std::string regionList() const
    {
        std::string text;
        for (const HexRegion& r : m_regions)
            text += (text.empty() ? "" : ", ") + hex(r.begin, 4) + "-" + hex(r.end - 1, 4);
        return text;
    }

    std::size_t m_memorySize;
    const std::vector<HexRegion>& m_regions;
    HexImage& m_image;
    std::uint64_t m_base = 0;
};

}  // namespace

std::size_t maxHexFileBytes(std::size_t memorySize) { return 16 * memorySize + 64 * 1024; }

Status parseIntelHex(const std::uint8_t* text, std::size_t size, std::size_t memorySize, HexImage& out,
                     const std::vector<HexRegion>& regions)
{
    HexImage image;
    image.bytes.assign(memorySize, 0xFF);
    image.present.assign(memorySize, false);
    LineParser parser(memorySize, regions, image);
    std::size_t lineNo = 0;
    std::size_t pos = 0;
    bool done = false;
    while (pos < size && !done) {
        ++lineNo;
        std::size_t end = pos;
        while (end < size && text[end] != '\n')
            ++end;
        std::size_t length = end - pos;
        if (length > 0 && text[pos + length - 1] == '\r')
            --length;
        if (length > 0) {
            const std::string why = parser.parse(text + pos, length, done);
            if (!why.empty())
                return Status::error(ErrorCode::BadFile, "line " + std::to_string(lineNo) + ": " + why);
        }
        pos = end + 1;
    }
    if (!done)
        return Status::error(ErrorCode::BadFile, "no end-of-file record");
    out = std::move(image);
    return Status::ok();
}

Status readIntelHexFile(const std::string& path, std::size_t memorySize, HexImage& out,
                        const std::vector<HexRegion>& regions)
{
    std::vector<std::uint8_t> text;
    if (Status s = readWholeFile(path, maxHexFileBytes(memorySize), text); !s)
        return s;
    return parseIntelHex(text.data(), text.size(), memorySize, out, regions);
}

namespace {

void appendRecord(std::string& out, std::uint8_t type, unsigned offset, const std::uint8_t* data, std::size_t n)
{
    static const char digits[] = "0123456789ABCDEF";
    std::uint8_t record[kFixedBytes + 255];
    record[0] = static_cast<std::uint8_t>(n);
    record[1] = static_cast<std::uint8_t>(offset >> 8);
    record[2] = static_cast<std::uint8_t>(offset);
    record[3] = type;
    if (n > 0)
        std::memcpy(record + 4, data, n);
    unsigned sum = 0;
    for (std::size_t i = 0; i < n + 4; ++i)
        sum += record[i];
    record[n + 4] = static_cast<std::uint8_t>(-sum);
    out += ':';
    for (std::size_t i = 0; i < n + kFixedBytes; ++i) {
        out += digits[record[i] >> 4];
        out += digits[record[i] & 15];
    }
    out += '\n';
}

}  // namespace

std::string formatIntelHex(const std::uint8_t* data, std::size_t size, std::size_t address)
{
    constexpr std::size_t kRecordBytes = 16;
    std::string out;
    out.reserve(size / kRecordBytes * 44 + 64);
    std::size_t upper = 0;  // the extended linear address in force; 0 until a 04 record
    for (std::size_t done = 0; done < size;) {
        const std::size_t at = address + done;
        if (at >> 16 != upper) {
            upper = at >> 16;
            const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)};
            appendRecord(out, 0x04, 0, bytes, 2);
        }
        // A record stays within its 64 KiB segment.
        const std::size_t n = std::min({kRecordBytes, size - done, 0x10000 - (at & 0xFFFF)});
        appendRecord(out, 0x00, static_cast<unsigned>(at & 0xFFFF), data + done, n);
        done += n;
    }
    appendRecord(out, 0x01, 0, nullptr, 0);
    return out;
}

Status writeIntelHexFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::string error;
    if (!writeFileAtomic(path, formatIntelHex(data, size), WriteMode::CreateOrReplace, error))
        return Status::error(ErrorCode::FileUnwritable, error);
    return Status::ok();
}

}  // namespace kousb::formats
