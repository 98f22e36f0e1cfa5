// SPDX-License-Identifier: MIT
// The IO page's text codec and mode names, table-driven: the values a user
// types, and the corners of formatted int extraction.
#include "iomode.h"
#include "iovalues.h"

#include <QtTest>

#include <climits>
#include <vector>

using iovalues::Base;

Q_DECLARE_METATYPE(std::vector<int>)
Q_DECLARE_METATYPE(Base)

namespace QTest {
template <>
char* toString(const std::vector<int>& values)
{
    QByteArray text = "{";
    for (std::size_t i = 0; i < values.size(); ++i)
        text += (i ? ", " : "") + QByteArray::number(values[i]);
    return qstrdup(text + "}");
}
}  // namespace QTest

namespace {

std::vector<int> seq(int from, int to)
{
    std::vector<int> v;
    for (int i = from; i <= to; ++i)
        v.push_back(i);
    return v;
}

std::string numbers(int from, int to)
{
    std::string s;
    for (int i = from; i <= to; ++i)
        s += std::to_string(i) + " ";
    return s;
}

}  // namespace

class TestIoValues : public QObject {
    Q_OBJECT

private slots:
    void readValues_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<Base>("base");
        QTest::addColumn<std::vector<int>>("values");
        const Base dec = Base::Decimal, hex = Base::Hex;
        using V = std::vector<int>;

        QTest::newRow("1 2 3") << QByteArray("1 2 3") << dec << V{1, 2, 3};
        QTest::newRow("hex ff 10 0x7F") << QByteArray("ff 10 0x7F") << hex << V{255, 16, 127};
        QTest::newRow("decimal ff: no value") << QByteArray("ff") << dec << V{};
        QTest::newRow("twenty values: first 16") << QByteArray(numbers(1, 20).c_str()) << dec << seq(1, 16);
        QTest::newRow("exactly 16, then junk") << QByteArray((numbers(1, 16) + "junk").c_str()) << dec << seq(1, 16);
        QTest::newRow("12 abc 14") << QByteArray("12 abc 14") << dec << V{12};
        QTest::newRow("300 and -2 kept whole") << QByteArray("300 -2") << dec << V{300, -2};
        QTest::newRow("010 decimal: not octal") << QByteArray("010") << dec << V{10};
        QTest::newRow("010 hex") << QByteArray("010") << hex << V{16};
        QTest::newRow("spaces around 5") << QByteArray(" 5 ") << dec << V{5};
        QTest::newRow("empty") << QByteArray("") << dec << V{};
        QTest::newRow("blanks only") << QByteArray("   ") << hex << V{};
        QTest::newRow("tabs and newlines") << QByteArray("\t7\n 8  ") << dec << V{7, 8};
        QTest::newRow("several spaces") << QByteArray("1    2") << dec << V{1, 2};
        QTest::newRow("0X prefix, mixed case") << QByteArray("0X7f 0xAb") << hex << V{127, 171};
        QTest::newRow("hex without prefix") << QByteArray("ab CD") << hex << V{171, 205};
        QTest::newRow("hex digits in decimal") << QByteArray("ab CD") << dec << V{};
        QTest::newRow("signs") << QByteArray("+5 -1") << dec << V{5, -1};
        QTest::newRow("signed hex") << QByteArray("-0x10 +f") << hex << V{-16, 15};
        QTest::newRow("sign alone") << QByteArray("- 5") << dec << V{};
        QTest::newRow("0x10 in decimal reads 0, then stops at x") << QByteArray("0x10 3") << dec << V{0};
        QTest::newRow("digits run into letters, decimal") << QByteArray("5abc 6") << dec << V{5};
        QTest::newRow("the same in hex is one value") << QByteArray("5abc 6") << hex << V{0x5abc, 6};
        QTest::newRow("comma ends the reading") << QByteArray("1,2") << dec << V{1};
        QTest::newRow("too big for an int is no value") << QByteArray("1 99999999999 2") << dec << V{1};
        QTest::newRow("int limits") << QByteArray("2147483647 -2147483648") << dec << V{INT_MAX, INT_MIN};
        QTest::newRow("hex above INT_MAX is no value") << QByteArray("80000000") << hex << V{};
    }

    void readValues()
    {
        QFETCH(QByteArray, text);
        QFETCH(Base, base);
        QFETCH(std::vector<int>, values);
        QCOMPARE(iovalues::readValues(text.toStdString(), base), values);
    }

    void transmitBuffer_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<Base>("base");
        QTest::addColumn<QByteArray>("bytes");  // the values' low 8 bits
        const Base dec = Base::Decimal, hex = Base::Hex;

        QTest::newRow("1 2 3") << QByteArray("1 2 3") << dec << QByteArray("\x01\x02\x03", 3);
        QTest::newRow("hex ff 10 0x7F") << QByteArray("ff 10 0x7F") << hex << QByteArray("\xff\x10\x7f", 3);
        QTest::newRow("300 -> 44, -2 -> 254") << QByteArray("300 -2") << dec << QByteArray("\x2c\xfe", 2);
        QTest::newRow("256 -> 0, -1 -> 255") << QByteArray("256 -1") << dec << QByteArray("\x00\xff", 2);
        QTest::newRow("-0x10 -> f0") << QByteArray("-0x10") << hex << QByteArray("\xf0", 1);
        QTest::newRow("int extremes") << QByteArray("2147483647 -2147483648") << dec << QByteArray("\xff\x00", 2);
        QTest::newRow("ff decimal: nothing") << QByteArray("ff") << dec << QByteArray();
        QTest::newRow("empty: nothing") << QByteArray() << dec << QByteArray();
        QByteArray sixteen;
        for (int i = 1; i <= 16; ++i)
            sixteen += char(i);
        QTest::newRow("twenty: first 16") << QByteArray(numbers(1, 20).c_str()) << dec << sixteen;
    }

    void transmitBuffer()
    {
        QFETCH(QByteArray, text);
        QFETCH(Base, base);
        QFETCH(QByteArray, bytes);
        const iovalues::Transmit tx = iovalues::transmitBuffer(text.toStdString(), base);
        QCOMPARE(tx.count, bytes.size());
        for (int i = 0; i < int(iovalues::kMaxBytes); ++i)
            QCOMPARE(int(tx.bytes[i]), i < bytes.size() ? int(static_cast<unsigned char>(bytes[i])) : 0);
    }

    void formatBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Base>("base");
        QTest::addColumn<QByteArray>("text");
        const Base dec = Base::Decimal, hex = Base::Hex;
        const QByteArray b("\x01\x12\xff", 3);
        QTest::newRow("decimal") << b << dec << QByteArray("1 18 255 ");
        QTest::newRow("hex: lower case, no prefix, no leading zero") << b << hex << QByteArray("1 12 ff ");
        QTest::newRow("none") << QByteArray() << dec << QByteArray();
        QTest::newRow("none, hex") << QByteArray() << hex << QByteArray();
        QTest::newRow("zero") << QByteArray(1, '\0') << dec << QByteArray("0 ");
        QTest::newRow("zero, hex") << QByteArray(1, '\0') << hex << QByteArray("0 ");
        QTest::newRow("a, hex") << QByteArray("\x0a\xa0", 2) << hex << QByteArray("a a0 ");
        QTest::newRow("sixteen 255s") << QByteArray(16, '\xff') << dec
                                      << QByteArray("255 255 255 255 255 255 255 255 255 255 255 255 255 255 255 255 ");
    }

    void formatBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Base, base);
        QFETCH(QByteArray, text);
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
        QCOMPARE(QByteArray::fromStdString(iovalues::formatBytes(data, std::size_t(bytes.size()), base)), text);
    }

    void formatShowsOnlyCount()
    {
        const unsigned char data[] = {9, 8, 7};
        QCOMPARE(iovalues::formatBytes(data, 2, Base::Decimal), std::string("9 8 "));
        QCOMPARE(iovalues::formatBytes(data, 0, Base::Hex), std::string());
    }

    void readSize_data()
    {
        QTest::addColumn<int>("typed");
        QTest::addColumn<int>("used");
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("16") << 16 << 16;
        QTest::newRow("17 -> 16") << 17 << 16;
        QTest::newRow("20 -> 16") << 20 << 16;
        QTest::newRow("INT_MAX -> 16") << INT_MAX << 16;
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("-1 -> 0") << -1 << 0;
        QTest::newRow("-65535 -> 0 (never 1 as an unsigned short)") << -65535 << 0;
        QTest::newRow("INT_MIN -> 0") << INT_MIN << 0;
    }

    void readSize()
    {
        QFETCH(int, typed);
        QFETCH(int, used);
        QCOMPARE(iovalues::readSize(typed), used);
    }

    void modeNames()
    {
        const char* names[] = {"External",   "FPGA",      "Block", "I2C",  "Command",
                               "Controller", "Interrupt", "SPI",   "UART", "EEPROM"};
        const IoMode modes[] = {IoMode::External,   IoMode::Fpga,      IoMode::Block, IoMode::I2c,  IoMode::Command,
                                IoMode::Controller, IoMode::Interrupt, IoMode::Spi,   IoMode::Uart, IoMode::Eeprom};
        for (int i = 0; i < 10; ++i) {
            QVERIFY(ioModeFromName(names[i]) == modes[i]);
            QCOMPARE(ioModeName(modes[i]), names[i]);
        }
        for (const char* other : {"", "fpga", "i2c", "External ", " SPI", "Eeprom", "Uart"})
            QVERIFY2(!ioModeFromName(other), other);
    }
};

QTEST_APPLESS_MAIN(TestIoValues)
#include "tst_iovalues.moc"
