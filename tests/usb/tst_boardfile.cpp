// SPDX-License-Identifier: MIT
// The board file format and the EEPROM identity block.
#include "eepromlayout.h"
#include "sim/boardfile.h"

#include <QtTest>

using namespace kousb;

class TestBoardFile : public QObject {
    Q_OBJECT

private slots:
    void roundTrip()
    {
        sim::BoardState state = sim::blankBoard();
        state.instance = "00ff00ff00ff00ff";
        state.slot = 12;
        state.bulkRateMBps = 40.5;
        state.fpgaDesign = "top level.ncd";
        state.controllerFirmware = "";
        state.eeprom[0] = 0xC0;
        state.eeprom[sim::kLastWriteBytes * 100 + 3] = 0x00;
        eeprom::writeId(state.eeprom, -123456);
        eeprom::writeName(state.eeprom, "Lab \xE9quipe");
        state.lastWrites["External"] = {3, {1, 2, 3}};
        state.lastWrites["Block"] = {65536, std::vector<std::uint8_t>(16, 0xEE)};

        sim::BoardState back;
        std::string error;
        QVERIFY2(sim::parseBoardFile(sim::formatBoardFile(state), back, error), error.c_str());
        QCOMPARE(back.instance, state.instance);
        QCOMPARE(back.slot, 12);
        QCOMPARE(back.bulkRateMBps, 40.5);
        QCOMPARE(back.fpgaDesign, state.fpgaDesign);
        QVERIFY(back.controllerFirmware.empty());
        QVERIFY(back.eeprom == state.eeprom);
        QCOMPARE(back.lastWrites.size(), std::size_t(2));
        QCOMPARE(back.lastWrites["Block"].length, std::size_t(65536));
        QVERIFY(back.lastWrites["External"].head == (std::vector<std::uint8_t>{1, 2, 3}));
        QCOMPARE(eeprom::readIdentity(back.eeprom).name, std::string("Lab \xE9quipe"));
    }

    // Whatever bytes the name field holds (the EEPROM takes any), the file
    // stays readable: a newline once broke the identity comment line.
    void anyNameByteKeepsTheFileReadable()
    {
        for (int first = 1; first < 256; first += int(eeprom::kMaxNameLength)) {
            std::string name;
            for (int c = first; c < first + int(eeprom::kMaxNameLength) && c < 256; ++c)
                name += char(c);
            sim::BoardState state = sim::blankBoard();
            state.instance = "0123456789abcdef";
            QVERIFY(eeprom::writeName(state.eeprom, name));
            const std::string text = sim::formatBoardFile(state);
            sim::BoardState back;
            std::string error;
            QVERIFY2(sim::parseBoardFile(text, back, error), qPrintable(QString::number(first) + ": " + error.c_str()));
            QCOMPARE(eeprom::readIdentity(back.eeprom).name, name);
            QCOMPARE(sim::formatBoardFile(back), text);
        }
    }

    void acceptsCrLfAndComments()
    {
        sim::BoardState state;
        std::string error;
        QVERIFY2(sim::parseBoardFile("# hello\r\nkousb-sim-board 1\r\n\r\ninstance a1\r\nslot 3\r\nrate 8\r\n", state,
                                     error),
                 error.c_str());
        QCOMPARE(state.slot, 3);
        QCOMPARE(state.bulkRateMBps, 8.0);
    }

    void refusesDamage_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("reason");
        const QByteArray head = "kousb-sim-board 1\ninstance a1\nslot 0\n";
        QTest::newRow("empty") << QByteArray() << QByteArray("empty file");
        QTest::newRow("other file") << QByteArray("hello\n") << QByteArray("line 1: not a simulated board file");
        QTest::newRow("future format") << QByteArray("kousb-sim-board 2\n") << QByteArray("unsupported format");
        QTest::newRow("no instance") << QByteArray("kousb-sim-board 1\nslot 0\n") << QByteArray("no instance");
        QTest::newRow("no slot") << QByteArray("kousb-sim-board 1\ninstance a\n") << QByteArray("no instance or slot");
        QTest::newRow("bad slot") << QByteArray("kousb-sim-board 1\ninstance a\nslot 256\n")
                                  << QByteArray("line 3: bad slot");
        QTest::newRow("signed slot") << QByteArray("kousb-sim-board 1\ninstance a\nslot -1\n")
                                     << QByteArray("bad slot");
        QTest::newRow("zero rate") << head + "rate 0\n" << QByteArray("line 4: bad rate");
        QTest::newRow("nan rate") << head + "rate nan\n" << QByteArray("bad rate");
        QTest::newRow("unknown key") << head + "colour blue\n" << QByteArray("unknown key 'colour'");
        QTest::newRow("odd eeprom digits") << head + "eeprom 0000 abc\n" << QByteArray("bad EEPROM bytes");
        QTest::newRow("non-hex eeprom") << head + "eeprom 0000 zz\n" << QByteArray("bad EEPROM bytes");
        QTest::newRow("eeprom past end") << head + "eeprom 3fff 0011\n" << QByteArray("beyond");
        QTest::newRow("eeprom huge offset") << head + "eeprom ffffffffffff 00\n" << QByteArray("bad EEPROM offset");
        QTest::newRow("last longer head than length") << head + "last Block 1 0102\n" << QByteArray("bad last-write");
        QTest::newRow("control character") << head + "fpga-design a\x01" "b\n" << QByteArray("bad fpga-design");
    }

    void refusesDamage()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, reason);
        sim::BoardState state = sim::blankBoard();
        state.slot = 99;
        std::string error;
        QVERIFY(!sim::parseBoardFile(text.toStdString(), state, error));
        QVERIFY2(QByteArray::fromStdString(error).contains(reason), error.c_str());
        QCOMPARE(state.slot, 99);  // the output is untouched by a refused file
    }

    void erasedEepromReadsAsNoIdentity()
    {
        const auto image = sim::blankBoard().eeprom;
        const BoardIdentity identity = eeprom::readIdentity(image);
        QCOMPARE(identity.id, 0);
        QCOMPARE(int(identity.deviceClass), 0);
        QCOMPARE(identity.firmwareVersion, 0);
        QVERIFY(identity.name.empty());
    }

    void identityFieldsAreIndependent()
    {
        auto image = sim::blankBoard().eeprom;
        eeprom::writeClass(image, 255);
        QCOMPARE(eeprom::readIdentity(image).id, 0);
        eeprom::writeId(image, INT32_MIN);
        eeprom::writeFirmwareVersion(image, 0xBEEF);
        QVERIFY(eeprom::writeName(image, std::string(eeprom::kMaxNameLength, 'n')));
        const BoardIdentity identity = eeprom::readIdentity(image);
        QCOMPARE(identity.id, INT32_MIN);
        QCOMPARE(int(identity.deviceClass), 255);
        QCOMPARE(identity.firmwareVersion, 0xBEEF);
        QCOMPARE(identity.name.size(), eeprom::kMaxNameLength);
        QVERIFY(!eeprom::writeName(image, std::string(eeprom::kMaxNameLength + 1, 'n')));
        QVERIFY(!eeprom::writeName(image, std::string("a\0b", 3)));
        QCOMPARE(eeprom::readIdentity(image).name.size(), eeprom::kMaxNameLength);
        QVERIFY(eeprom::writeName(image, ""));
        QVERIFY(eeprom::readIdentity(image).name.empty());
        // Only the identity block changed.
        for (std::size_t i = 0; i < eeprom::kIdentityOffset; ++i)
            QCOMPARE(image[i], eeprom::kErased);
    }
};

QTEST_GUILESS_MAIN(TestBoardFile)
#include "tst_boardfile.moc"
