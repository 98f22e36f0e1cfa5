// SPDX-License-Identifier: MIT
#include "boardselector.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace boards {

namespace {

constexpr const char* kSerialPrefix = "serial:";

bool sameIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::toupper(x) == std::toupper(y);
           });
}

// A whole number in decimal, or in hexadecimal after 0x, within 32 bits.
bool readId(const std::string& text, int& id)
{
    const bool negative = !text.empty() && text[0] == '-';
    const std::string digits = negative ? text.substr(1) : text;
    const bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    const std::string body = hex ? digits.substr(2) : digits;
    if (body.empty() || !std::all_of(body.begin(), body.end(), [&](unsigned char c) {
            return hex ? std::isxdigit(c) != 0 : std::isdigit(c) != 0;
        }))
        return false;
    errno = 0;
    const long long value = std::strtoll(body.c_str(), nullptr, hex ? 16 : 10) * (negative ? -1 : 1);
    if (errno != 0 || value < INT32_MIN || value > INT32_MAX)
        return false;
    id = static_cast<int>(value);
    return true;
}

}  // namespace

bool parseSelector(const std::string& text, Selector& selector, std::string& error)
{
    if (!text.empty() && text[0] == '@') {
        selector = {Selector::Kind::Place, 0, text.substr(1)};
    } else if (text.compare(0, std::char_traits<char>::length(kSerialPrefix), kSerialPrefix) == 0) {
        selector = {Selector::Kind::Serial, 0, text.substr(std::char_traits<char>::length(kSerialPrefix))};
    } else if (int id = 0; readId(text, id)) {
        selector = {Selector::Kind::Id, id, {}};
        return true;
    } else {
        error = "'" + text + "' names no board: give an ID, @PLACE or serial:SERIAL";
        return false;
    }
    if (selector.text.empty()) {
        error = "'" + text + "' names no board: the " + (selector.kind == Selector::Kind::Place ? "place" : "serial")
                + " is empty";
        return false;
    }
    return true;
}

bool matches(const Selector& selector, const Entry& board)
{
    switch (selector.kind) {
    case Selector::Kind::Id: return board.id == selector.id;
    case Selector::Kind::Place: return board.place == selector.text;
    case Selector::Kind::Serial: return !board.serial.empty() && sameIgnoringCase(board.serial, selector.text);
    }
    return false;
}

std::string selectorFor(const Entry& board, const std::vector<Entry>& attached)
{
    const auto alone = [&](const Selector& selector) {
        return std::count_if(attached.begin(), attached.end(),
                             [&](const Entry& other) { return matches(selector, other); })
               == 1;
    };
    if (alone({Selector::Kind::Id, board.id, {}}))
        return std::to_string(board.id);
    if (!board.place.empty() && alone({Selector::Kind::Place, 0, board.place}))
        return "@" + board.place;
    if (!board.serial.empty() && alone({Selector::Kind::Serial, 0, board.serial}))
        return kSerialPrefix + board.serial;
    return {};
}

bool placeLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t iEnd = i, jEnd = j;
            while (iEnd < a.size() && std::isdigit(static_cast<unsigned char>(a[iEnd])))
                ++iEnd;
            while (jEnd < b.size() && std::isdigit(static_cast<unsigned char>(b[jEnd])))
                ++jEnd;
            const unsigned long long x = std::strtoull(a.substr(i, iEnd - i).c_str(), nullptr, 10);
            const unsigned long long y = std::strtoull(b.substr(j, jEnd - j).c_str(), nullptr, 10);
            if (x != y)
                return x < y;
            i = iEnd;
            j = jEnd;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

}  // namespace boards
