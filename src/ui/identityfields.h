#pragma once
// Checks what a user typed as a board's identity before it goes into the
// board's EEPROM, so a mistyped field is refused instead of being written as
// 0 or cut short. Pure: no widgets, no board; shared by the window and
// command-line tools.
//
// Each function returns true and sets its result, or returns false, leaves
// the result alone and puts in `reason` a phrase that names the field and
// says what is wrong, e.g. `the ID "12abc" is not a decimal integer`.
#include <QByteArray>
#include <QString>

#include <cstdint>

// The ID: a decimal integer from -2147483648 to 2147483647, with an optional
// sign and leading zeros ("007" is 7); surrounding white space is ignored.
bool parseIdentityId(const QString& text, std::int32_t& id, QString& reason);

// The class: a decimal integer from 0 to 255, read as the ID is.
bool parseIdentityClass(const QString& text, std::uint8_t& deviceClass, QString& reason);

// The name, taken as typed: Latin-1 characters other than NUL, at most
// kousb::eeprom::kMaxNameLength of them; empty is valid. `latin1` gets one
// byte per character, without a terminating NUL.
bool encodeIdentityName(const QString& text, QByteArray& latin1, QString& reason);

struct IdentityFields {
    std::int32_t id = 0;
    QByteArray name; // Latin-1
    std::uint8_t deviceClass = 0;
};

// All three, checked in the order ID, name, class; `reason` tells of the
// first field refused, and `fields` is set only when all three pass.
bool parseIdentityFields(
    const QString& idText, const QString& nameText, const QString& classText, IdentityFields& fields, QString& reason);
