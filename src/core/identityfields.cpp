// SPDX-License-Identifier: MIT
#include "identityfields.h"

#include "eepromlayout.h"

#include <limits>
#include <vector>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The characters of UTF-8 text; a byte that starts no valid sequence
// (overlong, surrogate, beyond U+10FFFF, cut short) is one U+FFFD.
std::vector<char32_t> decodeUtf8(const std::string& text)
{
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        char32_t cp = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
        bool valid = length > 0 && i + length <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && cp >= kSmallest[length] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        out.push_back(valid ? cp : kReplacement);
        i += valid ? length : 1;
    }
    return out;
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string encodeUtf8(std::vector<char32_t>::const_iterator begin, std::vector<char32_t>::const_iterator end)
{
    std::string out;
    for (auto it = begin; it != end; ++it)
        appendUtf8(out, *it);
    return out;
}

// White space as a line edit's user may type it: the ASCII controls and
// space, NEL, NO-BREAK SPACE and the Unicode space, line and paragraph
// separators.
bool isSpace(char32_t c)
{
    return c == 0x20 || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680
           || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Quotes user text in a reason, cut so a pasted page does not flood the status bar.
std::string quoted(const std::vector<char32_t>& text)
{
    constexpr std::size_t kMaxQuoted = 20;
    if (text.size() <= kMaxQuoted)
        return '"' + encodeUtf8(text.begin(), text.end()) + '"';
    return '"' + encodeUtf8(text.begin(), text.begin() + kMaxQuoted) + "...\"";
}

// Read by hand so that a refusal can say whether the text is no number at
// all or a number out of range.
bool parseDecimal(const std::string& text, const char* field, long long min, long long max, long long& value,
                  std::string& reason)
{
    const std::string range = std::to_string(min) + " to " + std::to_string(max);
    const std::vector<char32_t> all = decodeUtf8(text);
    auto first = all.begin();
    auto last = all.end();
    while (first != last && isSpace(*first))
        ++first;
    while (last != first && isSpace(*(last - 1)))
        --last;
    const std::vector<char32_t> digits(first, last);
    if (digits.empty()) {
        reason = std::string("the ") + field + " is empty; enter a decimal integer from " + range;
        return false;
    }
    const std::string notDecimal = std::string("the ") + field + " " + quoted(all) + " is not a decimal integer";
    std::size_t i = 0;
    const bool negative = digits[0] == U'-';
    if (negative || digits[0] == U'+')
        ++i;
    if (i == digits.size()) {
        reason = notDecimal;
        return false;
    }
    // Accumulates the magnitude, stopping early once past any 32-bit value.
    constexpr long long kCap = 1LL << 40;
    long long magnitude = 0;
    for (; i < digits.size(); ++i) {
        const char32_t c = digits[i];
        if (c < U'0' || c > U'9') {
            reason = notDecimal;
            return false;
        }
        if (magnitude < kCap)
            magnitude = magnitude * 10 + static_cast<long long>(c - U'0');
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue < min || signedValue > max) {
        reason = std::string("the ") + field + " " + quoted(digits) + " is outside " + range;
        return false;
    }
    value = signedValue;
    return true;
}

}  // namespace

bool parseIdentityId(const std::string& text, std::int32_t& id, std::string& reason)
{
    long long value = 0;
    if (!parseDecimal(text, "ID", std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
                      value, reason))
        return false;
    id = static_cast<std::int32_t>(value);
    return true;
}

bool parseIdentityClass(const std::string& text, std::uint8_t& deviceClass, std::string& reason)
{
    long long value = 0;
    if (!parseDecimal(text, "class", 0, 255, value, reason))
        return false;
    deviceClass = static_cast<std::uint8_t>(value);
    return true;
}

bool encodeIdentityName(const std::string& text, std::string& latin1, std::string& reason)
{
    const std::vector<char32_t> characters = decodeUtf8(text);
    std::string bytes;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const char32_t c = characters[i];
        if (c == 0) {
            reason = "the name holds a NUL character (character " + std::to_string(i + 1) + ")";
            return false;
        }
        if (c > 0xFF) {
            std::string shown;
            appendUtf8(shown, c);
            reason = "the name holds \"" + shown + "\" (character " + std::to_string(i + 1)
                     + "), which is not a Latin-1 character";
            return false;
        }
        bytes += static_cast<char>(c);
    }
    if (characters.size() > kousb::eeprom::kMaxNameLength) {
        reason = "the name has " + std::to_string(characters.size()) + " characters; the board's EEPROM holds at most "
                 + std::to_string(kousb::eeprom::kMaxNameLength);
        return false;
    }
    latin1 = bytes;
    return true;
}

bool parseIdentityFields(const std::string& idText, const std::string& nameText, const std::string& classText,
                         IdentityFields& fields, std::string& reason)
{
    IdentityFields parsed;
    if (!parseIdentityId(idText, parsed.id, reason) || !encodeIdentityName(nameText, parsed.name, reason)
        || !parseIdentityClass(classText, parsed.deviceClass, reason))
        return false;
    fields = parsed;
    return true;
}
