// SPDX-License-Identifier: MIT
#include "bitfile.h"

#include "filebytes.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace kousb::formats {

namespace {

const std::uint8_t kPreamble[13] = {0x00, 0x09, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x00, 0x00, 0x01};

// Reads big-endian fields from the header, never past its end.
class Cursor {
public:
    Cursor(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::size_t position() const { return m_pos; }
    std::size_t left() const { return m_size - m_pos; }
    bool take(std::size_t n, const std::uint8_t*& bytes)
    {
        if (left() < n)
            return false;
        bytes = m_data + m_pos;
        m_pos += n;
        return true;
    }
    bool number(std::size_t n, std::uint64_t& value)
    {
        const std::uint8_t* bytes = nullptr;
        if (!take(n, bytes))
            return false;
        value = 0;
        for (std::size_t i = 0; i < n; ++i)
            value = value << 8 | bytes[i];
        return true;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

Status refuse(const std::string& why) { return Status::error(ErrorCode::BadFile, why); }

std::string keyText(std::uint8_t key)
{
    if (key >= 0x20 && key < 0x7F)
        return std::string("'") + char(key) + "'";
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[key >> 4] + digits[key & 15];
}

std::string keyName(char key) { return std::string("field '") + key + "'"; }

Status textField(Cursor& in, char key, std::string& text)
{
    const std::uint8_t* k = nullptr;
    if (!in.take(1, k))
        return refuse("truncated before " + keyName(key));
    if (*k != static_cast<std::uint8_t>(key))
        return refuse("expected " + keyName(key) + " at offset " + std::to_string(in.position() - 1) + ", found "
                      + keyText(*k));
    std::uint64_t length = 0;
    if (!in.number(2, length))
        return refuse("truncated in the length of " + keyName(key));
    if (length == 0)
        return refuse(keyName(key) + " is empty (not even its NUL)");
    const std::uint8_t* bytes = nullptr;
    if (!in.take(static_cast<std::size_t>(length), bytes))
        return refuse(keyName(key) + " says " + std::to_string(length) + " bytes, only " + std::to_string(in.left())
                      + " left");
    if (bytes[length - 1] != 0)
        return refuse(keyName(key) + " is not NUL-terminated");
    for (std::size_t i = 0; i + 1 < length; ++i)
        if (bytes[i] < 0x20 || bytes[i] == 0x7F)
            return refuse(keyName(key) + " holds a control character or an inner NUL");
    text.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length - 1));
    if (text.empty() && (key == 'a' || key == 'b'))
        return refuse(keyName(key) + (key == 'a' ? " (design name) is empty" : " (part name) is empty"));
    return Status::ok();
}

// Package codes of Xilinx parts, longest first where one ends another.
const char* const kPackages[] = {"fgg", "ftg", "fbg", "ffg", "ffv", "flg", "fsg", "cpg", "csg", "clg",
                                 "cbg", "pqg", "tqg", "vqg", "sbg", "sbv", "rsg", "fg",  "ft",  "fb",
                                 "ff",  "fl",  "fs",  "bg",  "bf",  "cp",  "cs",  "cl",  "cb",  "pq",
                                 "tq",  "vq",  "hq",  "pc",  "rf",  "rb",  "sb",  "rs"};

bool endsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

Status parseBitHeader(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize, BitHeader& out)
{
    if (headSize > fileSize)
        headSize = static_cast<std::size_t>(fileSize);
    Cursor in(head, headSize);
    const std::uint8_t* preamble = nullptr;
    if (!in.take(sizeof kPreamble, preamble) || !std::equal(std::begin(kPreamble), std::end(kPreamble), preamble))
        return refuse("not a Xilinx .bit file (bad preamble)");
    BitHeader header;
    for (auto [key, field] : {std::pair<char, std::string*>{'a', &header.design},
                              {'b', &header.part},
                              {'c', &header.date},
                              {'d', &header.time}})
        if (Status s = textField(in, key, *field); !s)
            return s;
    const std::uint8_t* k = nullptr;
    if (!in.take(1, k))
        return refuse("truncated before " + keyName('e'));
    if (*k != 'e')
        return refuse("expected " + keyName('e') + " at offset " + std::to_string(in.position() - 1) + ", found "
                      + keyText(*k));
    std::uint64_t length = 0;
    if (!in.number(4, length))
        return refuse("truncated in the length of " + keyName('e'));
    header.bitstreamOffset = in.position();
    const std::uint64_t rest = fileSize - header.bitstreamOffset;
    if (length == 0)
        return refuse("empty bitstream");
    if (length > rest)
        return refuse("truncated: the bitstream has " + std::to_string(length) + " bytes, the file holds "
                      + std::to_string(rest));
    if (length < rest)
        return refuse("trailing junk: " + std::to_string(rest - length) + " bytes after the bitstream");
    header.bitstreamLength = length;
    out = std::move(header);
    return Status::ok();
}

Status readBitFile(const std::string& path, BitHeader& out)
{
    std::vector<std::uint8_t> head;
    std::uint64_t fileSize = 0;
    if (Status s = readFileHead(path, kMaxBitHeaderBytes, head, fileSize); !s)
        return s;
    if (fileSize > kMaxBitFileBytes)
        return refuse("file too large (" + std::to_string(fileSize) + " bytes, at most "
                      + std::to_string(kMaxBitFileBytes) + ")");
    return parseBitHeader(head.data(), head.size(), fileSize, out);
}

std::string fpgaDevice(const std::string& part)
{
    std::string name;
    for (char c : part) {
        if (c == '-')
            break;  // speed grade, or package and speed grade
        if (!std::isalnum(static_cast<unsigned char>(c)))
            return {};
        name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (name.compare(0, 2, "xc") == 0)
        name.erase(0, 2);
    // A package is a known code followed by the pin count at the end.
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1])))
        --digits;
    if (digits < name.size()) {
        const std::string letters = name.substr(0, digits);
        for (const char* package : kPackages)
            if (endsWith(letters, package) && letters.size() > std::char_traits<char>::length(package)) {
                name = letters.substr(0, letters.size() - std::char_traits<char>::length(package));
                break;
            }
    }
    if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0])))
        return {};
    return name;
}

bool fpgaPartMatches(const std::string& filePart, const std::string& boardPart)
{
    const std::string device = fpgaDevice(filePart);
    return !device.empty() && device == fpgaDevice(boardPart);
}

std::string bitDesignName(const std::string& designField)
{
    const std::string name = designField.substr(0, designField.find(';'));
    return name.empty() ? designField : name;
}

}  // namespace kousb::formats
