// SPDX-License-Identifier: MIT
#pragma once
#include <optional>
#include <string>

// Board text is Latin-1, one byte a character; terminals and command lines
// speak UTF-8. The command-line tools convert with these.
namespace kousb::latin1 {

std::string toUtf8(const std::string& latin1);

// Board text for a line of output: UTF-8, with control characters written as
// \xNN, so that a name holding a newline or a tab written into the EEPROM
// cannot break the line-and-tab layout a script reads.
std::string toPrintableUtf8(const std::string& latin1);

// None when the text holds a character outside Latin-1 (or is not UTF-8).
std::optional<std::string> fromUtf8(const std::string& utf8);

}  // namespace kousb::latin1
