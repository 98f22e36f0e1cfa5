#include "identityfields.h"

#include "eepromlayout.h"

#include <limits>

namespace {

// Quotes user text in a reason, cut so a pasted page does not flood the status bar.
QString quoted(const QString& text)
{
    constexpr int kMaxQuoted = 20;
    return QLatin1Char('"') + (text.size() > kMaxQuoted ? text.left(kMaxQuoted) + QStringLiteral("...") : text)
        + QLatin1Char('"');
}

// Read by hand rather than with QString::toInt so that a refusal can say
// whether the text is no number at all or a number out of range.
bool parseDecimal(
    const QString& text, const QString& field, long long min, long long max, long long& value, QString& reason)
{
    const QString range = QString::number(min) + QStringLiteral(" to ") + QString::number(max);
    const QString digits = text.trimmed();
    if (digits.isEmpty()) {
        reason = QStringLiteral("the %1 is empty; enter a decimal integer from %2").arg(field, range);
        return false;
    }
    int i = 0;
    const bool negative = digits[0] == QLatin1Char('-');
    if (negative || digits[0] == QLatin1Char('+'))
        ++i;
    if (i == digits.size()) {
        reason = QStringLiteral("the %1 %2 is not a decimal integer").arg(field, quoted(text));
        return false;
    }
    // Accumulates the magnitude, stopping early once past any 32-bit value.
    constexpr long long kCap = 1LL << 40;
    long long magnitude = 0;
    for (; i < digits.size(); ++i) {
        const QChar c = digits[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            reason = QStringLiteral("the %1 %2 is not a decimal integer").arg(field, quoted(text));
            return false;
        }
        if (magnitude < kCap)
            magnitude = magnitude * 10 + (c.unicode() - '0');
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue < min || signedValue > max) {
        reason = QStringLiteral("the %1 %2 is outside %3").arg(field, quoted(digits), range);
        return false;
    }
    value = signedValue;
    return true;
}

} // namespace

bool parseIdentityId(const QString& text, std::int32_t& id, QString& reason)
{
    long long value = 0;
    if (!parseDecimal(text, QStringLiteral("ID"), std::numeric_limits<std::int32_t>::min(),
            std::numeric_limits<std::int32_t>::max(), value, reason))
        return false;
    id = static_cast<std::int32_t>(value);
    return true;
}

bool parseIdentityClass(const QString& text, std::uint8_t& deviceClass, QString& reason)
{
    long long value = 0;
    if (!parseDecimal(text, QStringLiteral("class"), 0, 255, value, reason))
        return false;
    deviceClass = static_cast<std::uint8_t>(value);
    return true;
}

bool encodeIdentityName(const QString& text, QByteArray& latin1, QString& reason)
{
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() == 0) {
            reason = QStringLiteral("the name holds a NUL character (character %1)").arg(i + 1);
            return false;
        }
        if (c.unicode() > 0xFF) {
            // A character beyond the BMP is a surrogate pair; show it whole.
            const int length = c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
            reason = QStringLiteral("the name holds \"%1\" (character %2), which is not a Latin-1 character")
                         .arg(text.mid(i, length))
                         .arg(i + 1);
            return false;
        }
    }
    if (static_cast<std::size_t>(text.size()) > kousb::eeprom::kMaxNameLength) {
        reason = QStringLiteral("the name has %1 characters; the board's EEPROM holds at most %2")
                     .arg(text.size())
                     .arg(kousb::eeprom::kMaxNameLength);
        return false;
    }
    latin1 = text.toLatin1();
    return true;
}

bool parseIdentityFields(
    const QString& idText, const QString& nameText, const QString& classText, IdentityFields& fields, QString& reason)
{
    IdentityFields parsed;
    if (!parseIdentityId(idText, parsed.id, reason) || !encodeIdentityName(nameText, parsed.name, reason)
        || !parseIdentityClass(classText, parsed.deviceClass, reason))
        return false;
    fields = parsed;
    return true;
}
