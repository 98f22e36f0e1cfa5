// SPDX-License-Identifier: MIT
#include "boardfile.h"

#include "../eepromlayout.h"
#include "../formats/filebytes.h"
#include "../formats/hexdigit.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>

namespace kousb::sim {

namespace {

constexpr const char* kMagic = "kousb-sim-board";
constexpr int kFormatVersion = 1;

int hexDigit(char c) { return formats::hexDigitValue(static_cast<unsigned char>(c)); }

bool parseHexBytes(const std::string& text, std::vector<std::uint8_t>& out)
{
    if (text.size() % 2 != 0)
        return false;
    out.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = hexDigit(text[i]);
        const int lo = hexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return true;
}

std::string hexBytes(const std::uint8_t* data, std::size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

bool parseUnsigned(const std::string& text, int base, unsigned long max, unsigned long& value)
{
    if (text.empty() || text.size() > 12)
        return false;
    for (char c : text)
        if (base == 10 ? (c < '0' || c > '9') : hexDigit(c) < 0)
            return false;
    value = std::strtoul(text.c_str(), nullptr, base);
    return value <= max;
}

// Splits "key rest of line" at the first space.
void splitKey(const std::string& line, std::string& key, std::string& value)
{
    const auto space = line.find(' ');
    key = line.substr(0, space);
    value = space == std::string::npos ? std::string() : line.substr(space + 1);
}

std::string orDash(const std::string& s) { return s.empty() ? "-" : s; }
std::string fromDash(const std::string& s) { return s == "-" ? std::string() : s; }

// A text from the EEPROM, made safe for a comment line: any byte outside
// printable ASCII, and the quote and backslash, as \xNN.
std::string escaped(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
        }
    }
    return out;
}

bool validText(const std::string& s)
{
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

}  // namespace

BoardState blankBoard()
{
    BoardState state;
    state.eeprom.assign(eeprom::kSize, eeprom::kErased);
    return state;
}

std::string newInstanceId()
{
    std::random_device device;
    std::uint64_t value = (static_cast<std::uint64_t>(device()) << 32) ^ device();
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

bool parseBoardFile(const std::string& text, BoardState& out, std::string& error)
{
    BoardState state = blankBoard();
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    bool sawMagic = false;
    bool sawSlot = false;
    auto fail = [&](const std::string& why) {
        error = "line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::string key, value;
        splitKey(line, key, value);
        if (!sawMagic) {
            if (key != kMagic)
                return fail("not a simulated board file");
            unsigned long version = 0;
            if (!parseUnsigned(value, 10, 1000, version) || version != kFormatVersion)
                return fail("unsupported format version '" + value + "'");
            sawMagic = true;
            continue;
        }
        if (key == "instance") {
            if (value.empty() || value.size() > 64 || !validText(value) || value.find(' ') != std::string::npos)
                return fail("bad instance");
            state.instance = value;
        } else if (key == "slot") {
            unsigned long slot = 0;
            if (!parseUnsigned(value, 10, 255, slot))
                return fail("bad slot '" + value + "'");
            state.slot = static_cast<int>(slot);
            sawSlot = true;
        } else if (key == "rate") {
            char* end = nullptr;
            errno = 0;
            const double rate = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || errno != 0 || !std::isfinite(rate) || rate <= 0 || rate > 1000)
                return fail("bad rate '" + value + "' (Mbyte/s, above 0 and at most 1000)");
            state.bulkRateMBps = rate;
        } else if (key == "fpga-part") {
            if (value.empty() || !validText(value))
                return fail("bad fpga-part");
            state.fpgaPart = value;
        } else if (key == "fpga-design") {
            if (!validText(value))
                return fail("bad fpga-design");
            state.fpgaDesign = fromDash(value);
        } else if (key == "controller-firmware") {
            if (!validText(value))
                return fail("bad controller-firmware");
            state.controllerFirmware = fromDash(value);
        } else if (key == "eeprom") {
            std::string offsetText, bytesText;
            splitKey(value, offsetText, bytesText);
            unsigned long offset = 0;
            std::vector<std::uint8_t> bytes;
            if (!parseUnsigned(offsetText, 16, eeprom::kSize, offset))
                return fail("bad EEPROM offset '" + offsetText + "'");
            if (!parseHexBytes(bytesText, bytes) || bytes.empty())
                return fail("bad EEPROM bytes");
            if (offset + bytes.size() > eeprom::kSize)
                return fail("EEPROM data beyond its " + std::to_string(eeprom::kSize) + " bytes");
            std::copy(bytes.begin(), bytes.end(), state.eeprom.begin() + static_cast<long>(offset));
        } else if (key == "last") {
            std::string mode, rest, lengthText, bytesText;
            splitKey(value, mode, rest);
            splitKey(rest, lengthText, bytesText);
            unsigned long length = 0;
            BoardState::LastWrite last;
            if (mode.empty() || !validText(mode) || !parseUnsigned(lengthText, 10, 1UL << 30, length)
                || !parseHexBytes(bytesText, last.head) || last.head.size() > kLastWriteBytes
                || last.head.size() > length)
                return fail("bad last-write record");
            last.length = length;
            state.lastWrites[mode] = std::move(last);
        } else if (key == "fault-eeprom-drop") {
            unsigned long offset = 0;
            if (!parseUnsigned(value, 16, eeprom::kSize - 1, offset))
                return fail("bad fault-eeprom-drop offset '" + value + "'");
            state.eepromDropOffset = offset;
        } else {
            return fail("unknown key '" + key + "'");
        }
    }
    if (!sawMagic)
        return fail("empty file");
    if (state.instance.empty() || !sawSlot) {
        error = "no instance or slot";
        return false;
    }
    out = std::move(state);
    return true;
}

std::string formatBoardFile(const BoardState& state)
{
    const BoardIdentity identity = eeprom::readIdentity(state.eeprom);
    std::ostringstream out;
    out << kMagic << ' ' << kFormatVersion << '\n'
        << "# Simulated KoUSB board; see kousb-sim --help. Written atomically by the library.\n"
        << "# identity (read from the EEPROM): id " << identity.id << ", name \"" << escaped(identity.name)
        << "\", class " << int(identity.deviceClass) << ", fw " << identity.firmwareVersion << '\n'
        << "instance " << state.instance << '\n'
        << "slot " << state.slot << '\n';
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", state.bulkRateMBps);
    out << "rate " << rate << '\n'
        << "fpga-part " << state.fpgaPart << '\n'
        << "fpga-design " << orDash(state.fpgaDesign) << '\n'
        << "controller-firmware " << orDash(state.controllerFirmware) << '\n';
    for (std::size_t offset = 0; offset + 16 <= state.eeprom.size(); offset += 16) {
        const std::uint8_t* row = state.eeprom.data() + offset;
        bool erased = true;
        for (int i = 0; i < 16; ++i)
            erased = erased && row[i] == eeprom::kErased;
        if (erased)
            continue;
        char offsetText[24];
        std::snprintf(offsetText, sizeof offsetText, "%04zx", offset);
        out << "eeprom " << offsetText << ' ' << hexBytes(row, 16) << '\n';
    }
    for (const auto& [mode, last] : state.lastWrites)
        out << "last " << mode << ' ' << last.length << ' ' << hexBytes(last.head.data(), last.head.size()) << '\n';
    if (state.eepromDropOffset) {
        char offsetText[24];
        std::snprintf(offsetText, sizeof offsetText, "%04zx", *state.eepromDropOffset);
        out << "fault-eeprom-drop " << offsetText << '\n';
    }
    return out.str();
}

}  // namespace kousb::sim

namespace kousb::sim {

bool readBoardFile(const std::string& path, BoardState& state, std::string& error)
{
    std::vector<std::uint8_t> bytes;
    if (const Status status = formats::readOwnFile(path, kMaxBoardFileBytes, bytes); !status) {
        error = status.message();
        return false;
    }
    return parseBoardFile(std::string(bytes.begin(), bytes.end()), state, error);
}

}  // namespace kousb::sim
