// SPDX-License-Identifier: MIT
// The checks on a typed identity (UTF-8 text in), without a window.
#include "eepromlayout.h"
#include "identityfields.h"

#include <QtTest>

class TestIdentityFields : public QObject {
    Q_OBJECT

private slots:
    void idAccepted_data()
    {
        // clang-format off
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("id");
        QTest::newRow("plain") << "42" << 42;
        QTest::newRow("leading zeros") << "007" << 7;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("negative") << "-5" << -5;
        QTest::newRow("plus sign") << "+12" << 12;
        QTest::newRow("white space around") << " 9\t" << 9;
        QTest::newRow("largest") << "2147483647" << 2147483647;
        QTest::newRow("smallest") << "-2147483648" << int(-2147483647 - 1);
        QTest::newRow("many zeros") << "000000000000000000000000000013" << 13;
        // clang-format on
    }
    void idAccepted()
    {
        QFETCH(QString, text);
        QFETCH(int, id);
        std::int32_t value = -99;
        std::string reason;
        QVERIFY2(parseIdentityId(text.toStdString(), value, reason), reason.c_str());
        QCOMPARE(value, id);
        QVERIFY(reason.empty());
    }

    void idRefused_data()
    {
        // clang-format off
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty") << "" << "the ID is empty; enter a decimal integer from -2147483648 to 2147483647";
        QTest::newRow("blank") << "   " << "the ID is empty; enter a decimal integer from -2147483648 to 2147483647";
        QTest::newRow("trailing letters") << "12abc" << "the ID \"12abc\" is not a decimal integer";
        QTest::newRow("hexadecimal") << "0x10" << "the ID \"0x10\" is not a decimal integer";
        QTest::newRow("sign only") << "-" << "the ID \"-\" is not a decimal integer";
        QTest::newRow("two signs") << "--1" << "the ID \"--1\" is not a decimal integer";
        QTest::newRow("inner space") << "1 2" << "the ID \"1 2\" is not a decimal integer";
        QTest::newRow("decimal point") << "1.0" << "the ID \"1.0\" is not a decimal integer";
        QTest::newRow("group separator") << "1,000" << "the ID \"1,000\" is not a decimal integer";
        QTest::newRow("non-ASCII digit") << QString::fromUtf8("\xD9\xA3") << QString::fromUtf8("the ID \"\xD9\xA3\" is not a decimal integer");
        QTest::newRow("one too large") << "2147483648" << "the ID \"2147483648\" is outside -2147483648 to 2147483647";
        QTest::newRow("one too small") << "-2147483649" << "the ID \"-2147483649\" is outside -2147483648 to 2147483647";
        QTest::newRow("far too large") << "123456789012345678901234567890" << "the ID \"12345678901234567890...\" is outside -2147483648 to 2147483647";
        // clang-format on
    }
    void idRefused()
    {
        QFETCH(QString, text);
        QFETCH(QString, reason);
        std::int32_t value = -99;
        std::string got;
        QVERIFY(!parseIdentityId(text.toStdString(), value, got));
        QCOMPARE(QString::fromStdString(got), reason);
        QCOMPARE(value, -99);
    }

    void classRange_data()
    {
        // clang-format off
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("deviceClass");
        QTest::addColumn<QString>("reason");
        QTest::newRow("zero") << "0" << true << 0 << "";
        QTest::newRow("largest") << "255" << true << 255 << "";
        QTest::newRow("leading zeros") << "0042" << true << 42 << "";
        QTest::newRow("256") << "256" << false << 0 << "the class \"256\" is outside 0 to 255";
        QTest::newRow("300") << "300" << false << 0 << "the class \"300\" is outside 0 to 255";
        QTest::newRow("-1") << "-1" << false << 0 << "the class \"-1\" is outside 0 to 255";
        QTest::newRow("empty") << "" << false << 0 << "the class is empty; enter a decimal integer from 0 to 255";
        QTest::newRow("word") << "three" << false << 0 << "the class \"three\" is not a decimal integer";
        // clang-format on
    }
    void classRange()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(int, deviceClass);
        QFETCH(QString, reason);
        std::uint8_t value = 77;
        std::string got;
        QCOMPARE(parseIdentityClass(text.toStdString(), value, got), accepted);
        QCOMPARE(QString::fromStdString(got), reason);
        QCOMPARE(int(value), accepted ? deviceClass : 77);
    }

    void nameAccepted_data()
    {
        // clang-format off
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("latin1");
        QTest::newRow("empty") << "" << QByteArray();
        QTest::newRow("ASCII") << "Scope front end" << QByteArray("Scope front end");
        QTest::newRow("Latin-1") << QString::fromUtf8("Board fünf ÿ") << QByteArray("Board f\xFCnf \xFF");
        QTest::newRow("spaces kept") << "  padded  " << QByteArray("  padded  ");
        QTest::newRow("longest") << QString(int(kousb::eeprom::kMaxNameLength), QLatin1Char('n')) << QByteArray(int(kousb::eeprom::kMaxNameLength), 'n');
        // clang-format on
    }
    void nameAccepted()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, latin1);
        std::string got("untouched");
        std::string reason;
        QVERIFY2(encodeIdentityName(text.toStdString(), got, reason), reason.c_str());
        QCOMPARE(QByteArray::fromStdString(got), latin1);
    }

    void nameRefused_data()
    {
        // clang-format off
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("one too long") << QString(int(kousb::eeprom::kMaxNameLength) + 1, QLatin1Char('n')) << "the name has 32 characters; the board's EEPROM holds at most 31";
        QTest::newRow("euro sign") << QString::fromUtf8( "Price 5€") << QString::fromUtf8("the name holds \"€\" (character 8), which is not a Latin-1 character");
        QTest::newRow("outside the BMP") << QString::fromUtf8( "a😀b") << QString::fromUtf8("the name holds \"😀\" (character 2), which is not a Latin-1 character");
        QTest::newRow("NUL") << QString::fromLatin1("ab\0c", 4) << "the name holds a NUL character (character 3)";
        // Characters are checked before the length, so a long name that also
        // holds a foreign character names the character.
        QTest::newRow("long and foreign") << QString(40, QLatin1Char('x')) + QChar(0x0416) << QString::fromUtf8("the name holds \"Ж\" (character 41), which is not a Latin-1 character");
        // clang-format on
    }
    void nameRefused()
    {
        QFETCH(QString, text);
        QFETCH(QString, reason);
        std::string got("untouched");
        std::string gotReason;
        QVERIFY(!encodeIdentityName(text.toStdString(), got, gotReason));
        QCOMPARE(QString::fromStdString(gotReason), reason);
        QCOMPARE(QByteArray::fromStdString(got), QByteArray("untouched"));
    }

    void allThreeInPageOrder()
    {
        IdentityFields fields;
        std::string reason;
        QVERIFY(parseIdentityFields("007", "Zoë", "3", fields, reason));
        QCOMPARE(fields.id, 7);
        QCOMPARE(QByteArray::fromStdString(fields.name), QByteArray("Zo\xEB"));
        QCOMPARE(int(fields.deviceClass), 3);

        // The first field refused is the one told of; nothing is set.
        IdentityFields untouched;
        untouched.id = 5;
        QVERIFY(!parseIdentityFields("x", std::string(40, 'n'), "999", untouched, reason));
        QCOMPARE(QString::fromStdString(reason), QStringLiteral("the ID \"x\" is not a decimal integer"));
        QVERIFY(!parseIdentityFields("1", std::string(40, 'n'), "999", untouched, reason));
        QVERIFY(QString::fromStdString(reason).startsWith("the name has 40"));
        QVERIFY(!parseIdentityFields("1", "ok", "999", untouched, reason));
        QCOMPARE(QString::fromStdString(reason), QStringLiteral("the class \"999\" is outside 0 to 255"));
        QCOMPARE(untouched.id, 5);
        QVERIFY(untouched.name.empty());
    }
};

QTEST_GUILESS_MAIN(TestIdentityFields)
#include "tst_identityfields.moc"
