// SPDX-License-Identifier: MIT
#include "iovalues.h"

#include <algorithm>
#include <cstdio>
#include <locale>
#include <sstream>

namespace iovalues {

std::vector<int> readValues(const std::string& text, Base base)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    in >> (base == Base::Hex ? std::hex : std::dec);
    std::vector<int> values;
    int value = 0;
    while (values.size() < kMaxBytes && in >> value)
        values.push_back(value);
    return values;
}

unsigned char lowByte(int value) { return static_cast<unsigned char>(static_cast<unsigned int>(value) & 0xFFu); }

Transmit transmitBuffer(const std::string& text, Base base)
{
    const std::vector<int> values = readValues(text, base);
    Transmit transmit;
    std::transform(values.begin(), values.end(), transmit.bytes.begin(), lowByte);
    transmit.count = static_cast<int>(values.size());
    return transmit;
}

int readSize(int typed) { return std::clamp(typed, 0, static_cast<int>(kMaxBytes)); }

std::string formatBytes(const unsigned char* data, std::size_t count, Base base)
{
    std::string text;
    char number[8];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(number, sizeof number, base == Base::Hex ? "%x " : "%u ", static_cast<unsigned>(data[i]));
        text += number;
    }
    return text;
}

}  // namespace iovalues
