// SPDX-License-Identifier: MIT
// The emulated controller's I2C master and its chips, on their own, against
// the rules the register sheet (4.13, 4.14) and the 24LC128 and LM75
// datasheets give: a script of register accesses per row, what the CPU
// reads back and what the emulator reports.
#include "i2ccontroller.h"

#include <QtTest>

class TestFx2I2c : public QObject {
    Q_OBJECT

private slots:
    void sequences_data()
    {
        // Script: S<byte> START and an address byte written to I2DAT, W<byte>
        // a byte written, R a read of I2DAT (its value is noted), L LASTRD,
        // P STOP, T<ms> time passing. Result: "a"/"n" for each byte's ACK
        // after S and W, the bytes read, then "fault" if one was reported.
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("result");
        QTest::newRow("page write, then random read with LASTRD and STOP before the last read")
            << "S a2 W 01 W 00 W 61 W 62 P T 6 S a2 W 01 W 00 S a3 R L R P R"
            << "a a a a a a a a a ff 61 62";
        QTest::newRow("a page write wraps to the start of its page")
            << "S a2 W 00 W 3f W 11 W 22 P T 6 S a2 W 00 W 00 S a3 R L R P R"
            << "a a a a a a a a a ff 22 ff";
        QTest::newRow("no acknowledge during the 5 ms write cycle") << "S a2 W 00 W 00 W 55 P S a2 P T 6 S a2 P"
                                                                    << "a a a a n a";
        QTest::newRow("sensor: whole degrees, then the half in bit 7") << "S 91 R L R P R"
                                                                       << "a ff 1f 80";
        QTest::newRow("nobody at 0x30") << "S 60 P"
                                        << "n";
        QTest::newRow("an address probe, then a read of I2DAT on an idle bus") << "S 91 P R"
                                                                               << "a ff fault";
        QTest::newRow("a read past the refused byte") << "S 91 L R R R"
                                                      << "a ff 1f ff fault";
    }

    void sequences()
    {
        QFETCH(QString, script);
        QFETCH(QString, result);
        std::uint64_t now = 0;
        bool faulted = false;
        const I2cController::Bits bits{0x80, 0x40, 0x20, 0x10, 0x04, 0x02, 0x01};  // I2CS, register sheet 3.4
        I2cController i2c(
            bits, [&] { return now; }, [&](std::uint64_t ns) { now += ns; },
            [&](const std::string&) { faulted = true; });
        Eeprom24lc128 eeprom(0x51);
        Lm75 sensor(0x48);
        sensor.celsius = 31.5;
        i2c.attach(&eeprom);
        i2c.attach(&sensor);
        QStringList seen;
        const QStringList words = script.split(' ');
        for (int i = 0; i < words.size(); ++i) {
            const QString w = words[i];
            auto next = [&] { return std::uint8_t(words[++i].toUInt(nullptr, 16)); };
            if (w == "S" || w == "W") {
                if (w == "S")
                    i2c.controlWritten(bits.start);
                i2c.dataWritten(next());
                QVERIFY(i2c.control() & bits.done);
                seen << ((i2c.control() & bits.ack) ? "a" : "n");
            } else if (w == "R") {
                seen << QString("%1").arg(i2c.data(), 2, 16, QChar('0'));
                i2c.dataRead();
            } else if (w == "L") {
                i2c.controlWritten(bits.lastRead);
            } else if (w == "P") {
                i2c.controlWritten(bits.stop);
            } else if (w == "T") {
                now += std::uint64_t(next()) * 1000000;
            }
        }
        if (faulted)
            seen << "fault";
        QCOMPARE(seen.join(' '), result);
    }
};

QTEST_GUILESS_MAIN(TestFx2I2c)
#include "tst_fx2i2c.moc"
