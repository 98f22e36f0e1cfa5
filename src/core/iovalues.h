// SPDX-License-Identifier: MIT
#pragma once
// The text codec of the "IO Tests" page: reading the bytes to send from a
// line of numbers, and showing the bytes received as one. Plain C++17 on
// std::string, no Qt, so that a command-line tool can use the same rules.
#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace iovalues {

// Bytes one transfer of the page moves at most: the size of each buffer.
constexpr std::size_t kMaxBytes = 16;

enum class Base { Decimal, Hex };

// Reads values from `text` one after another exactly as formatted extraction
// of an `int` from a std::istringstream reads them (`stream >> value`, with
// std::dec or std::hex, in the classic locale): white space before a value is
// skipped; a value is an optionally signed integer, in hexadecimal digits with
// an optional 0x or 0X prefix for Base::Hex; a value that does not fit an int
// is no value. Reading stops at the end of the text, at the first place where
// no value can be read (the rest is ignored), or after kMaxBytes values.
std::vector<int> readValues(const std::string& text, Base base);

// The low 8 bits of a value, as the buffer stores it: 300 -> 44, -1 -> 255.
unsigned char lowByte(int value);

// The transmit buffer of one write: the low 8 bits of each value read from
// `text`, in order, zeroed beyond them; `count` is the number of values (0-16).
struct Transmit {
    std::array<unsigned char, kMaxBytes> bytes{};
    int count = 0;
};
Transmit transmitBuffer(const std::string& text, Base base);

// The number of bytes a read asks for, from the size typed: above kMaxBytes
// it is kMaxBytes, below 0 it is 0 (so no call gets a length beyond the
// buffer).
int readSize(int typed);

// The first `count` bytes of `data`, each as an unsigned number 0-255, in
// lower-case hexadecimal without prefix or leading zeros for Base::Hex and in
// decimal otherwise, each followed by one space (the last one too); empty for
// a count of 0. {1, 18, 255} reads "1 18 255 " and "1 12 ff ".
std::string formatBytes(const unsigned char* data, std::size_t count, Base base);

}  // namespace iovalues
