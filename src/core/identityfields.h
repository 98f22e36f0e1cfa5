// SPDX-License-Identifier: MIT
#pragma once
// Checks what a user typed as a board's identity before it goes into the
// board's EEPROM, so a mistyped field is refused instead of being written as
// 0 or cut short. Pure: no widgets, no board, no Qt; shared by the window
// and the command line. Text comes in as UTF-8.
//
// Each function returns true and sets its result, or returns false, leaves
// the result alone and puts in `reason` a phrase (UTF-8) that names the field
// and says what is wrong, e.g. `the ID "12abc" is not a decimal integer`.
#include <cstdint>
#include <string>

// The ID: a decimal integer from -2147483648 to 2147483647, with an optional
// sign and leading zeros ("007" is 7); surrounding white space is ignored.
bool parseIdentityId(const std::string& text, std::int32_t& id, std::string& reason);

// The class: a decimal integer from 0 to 255, read as the ID is.
bool parseIdentityClass(const std::string& text, std::uint8_t& deviceClass, std::string& reason);

// The name, taken as typed: Latin-1 characters other than NUL, at most
// kousb::eeprom::kMaxNameLength of them; empty is valid. `latin1` gets one
// byte per character, without a terminating NUL. Bytes that are not UTF-8
// count as U+FFFD, which is refused like any character beyond Latin-1.
bool encodeIdentityName(const std::string& text, std::string& latin1, std::string& reason);

struct IdentityFields {
    std::int32_t id = 0;
    std::string name;  // Latin-1
    std::uint8_t deviceClass = 0;
};

// All three, checked in the order ID, name, class; `reason` tells of the
// first field refused, and `fields` is set only when all three pass.
bool parseIdentityFields(const std::string& idText, const std::string& nameText, const std::string& classText,
                         IdentityFields& fields, std::string& reason);
