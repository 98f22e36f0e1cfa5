// SPDX-License-Identifier: MIT
// The shared IO value codec and identity checks, without Qt: what a line of
// typed values sends, how received bytes show, and which identities pass.
#include "check.h"
#include "identityfields.h"
#include "iovalues.h"

#include <vector>

using iovalues::Base;

namespace {

std::string join(const std::vector<int>& values)
{
    std::string text;
    for (int v : values)
        text += std::to_string(v) + " ";
    return text;
}

void readValues()
{
    struct Row {
        const char* text;
        Base base;
        const char* values;  // as join() shows them
    };
    const Row rows[] = {
        {"1 2 3", Base::Decimal, "1 2 3 "},
        {"  -1\t300 ", Base::Decimal, "-1 300 "},
        {"12abc 7", Base::Decimal, "12 "},  // stops at the first non-value
        {"ff 0x10 A", Base::Hex, "255 16 10 "},
        {"99999999999 5", Base::Decimal, ""},  // beyond an int is no value
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17", Base::Decimal,
         "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 "},  // at most 16
        {"", Base::Hex, ""},
    };
    for (const Row& row : rows)
        CHECK_EQUAL(join(iovalues::readValues(row.text, row.base)), std::string(row.values));
}

void bytesRoundTrip()
{
    const iovalues::Transmit tx = iovalues::transmitBuffer("1 -1 300 18", Base::Decimal);
    CHECK_EQUAL(tx.count, 4);
    CHECK_EQUAL(iovalues::formatBytes(tx.bytes.data(), 4, Base::Decimal), std::string("1 255 44 18 "));
    CHECK_EQUAL(iovalues::formatBytes(tx.bytes.data(), 4, Base::Hex), std::string("1 ff 2c 12 "));
    CHECK_EQUAL(int(tx.bytes[4]), 0);
    CHECK_EQUAL(iovalues::readSize(40), 16);
    CHECK_EQUAL(iovalues::readSize(-3), 0);
}

void identities()
{
    struct Row {
        const char* id;
        const char* name;
        const char* deviceClass;
        const char* reason;  // empty: accepted
    };
    const Row rows[] = {
        {" 007\xC2\xA0",
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         "200", ""},
        {"12abc", "ok", "1", "the ID \"12abc\" is not a decimal integer"},
        {"2147483648", "ok", "1", "the ID \"2147483648\" is outside -2147483648 to 2147483647"},
        {"1", "5\xE2\x82\xAC", "1", "the name holds \"\xE2\x82\xAC\" (character 2), which is not a Latin-1 character"},
        {"1", "a\xFF", "1", "the name holds \"\xEF\xBF\xBD\" (character 2), which is not a Latin-1 character"},
        {"1", "ok", "", "the class is empty; enter a decimal integer from 0 to 255"},
    };
    for (const Row& row : rows) {
        IdentityFields fields;
        fields.id = -99;
        std::string reason;
        const bool accepted = parseIdentityFields(row.id, row.name, row.deviceClass, fields, reason);
        CHECK_EQUAL(reason, std::string(row.reason));
        CHECK(accepted == reason.empty(), row.id);
        CHECK_EQUAL(fields.id, accepted ? 7 : -99);
    }
    IdentityFields fields;
    std::string reason;
    CHECK(parseIdentityFields("1",
                              "Gr\xC3\xBC\xC3\x9F"
                              "e",
                              "200", fields, reason),
          reason);
    CHECK_EQUAL(fields.name, std::string("Gr\xFC\xDF"
                                         "e"));
    CHECK_EQUAL(int(fields.deviceClass), 200);
}

}  // namespace

int main()
{
    readValues();
    bytesRoundTrip();
    identities();
    return check::result();
}
