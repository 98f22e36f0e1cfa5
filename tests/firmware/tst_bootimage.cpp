// SPDX-License-Identifier: MIT
// kousb make-boot-image: the EEPROM image it writes is read back with the
// C2 decoder and must hold exactly the firmware's bytes and the identity.
#include "eepromlayout.h"
#include "firmwarefiles.h"
#include "formats/c2bootimage.h"
#include "formats/intelhex.h"
#include "simboards.h"
#include "toolprocess.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kousb;
using namespace firmwarefiles;

class TestBootImage : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SimBoards m_boards;
    QString tool() const { return qEnvironmentVariable("KOUSB_TOOL"); }

private slots:
    void initTestCase() { m_boards.plug(0, 33, "Shelf board"); }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("deviceClass");
        // Runs longer than a record, a gap, data RAM; and our own image when it was built.
        QByteArray code(2500, '\0');
        for (int i = 0; i < code.size(); ++i)
            code[i] = char(i * 13);
        QTest::newRow("made up") << writeFile(m_dir.filePath("fw.ihx"),
                                              intelHex({{0, code}, {0x3000, "\x01\x02"}, {0xE100, "\x7F"}}))
                                 << QStringList{"--id", "-5", "--name", "Bench 2", "--class", "200"} << -5 << "Bench 2"
                                 << 200;
        QTest::newRow("identity of a board")
            << m_dir.filePath("fw.ihx") << QStringList{"--board", "33", "--class", "4"} << 33 << "Shelf board" << 4;
#ifdef KOUSB_FIRMWARE_IMAGE
        QTest::newRow("our firmware") << QString(KOUSB_FIRMWARE_IMAGE) << QStringList{"--id", "12"} << 12 << "" << 0;
#endif
    }
    void roundTrip()
    {
        QFETCH(QString, firmware);
        QFETCH(QStringList, options);
        const QString out = m_dir.filePath("boot.hex");
        const ToolResult r = runTool(tool(), QStringList{"make-boot-image", firmware, out} + options);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));

        formats::HexImage eeprom, source;
        QVERIFY(formats::readIntelHexFile(QFile::encodeName(out).toStdString(), eeprom::kSize, eeprom));
        QVERIFY(formats::readIntelHexFile(QFile::encodeName(firmware).toStdString(), 0x10000, source));
        formats::C2Image image;
        const Status decoded = formats::decodeC2BootImage(eeprom.bytes.data(), eeprom.bytes.size(), image);
        QVERIFY2(decoded, decoded.message().c_str());
        QCOMPARE(image.header.vendorId, 0x04B4);
        QCOMPARE(image.header.productId, 0x1004);
        QVERIFY(image.present == source.present);
        QVERIFY(image.bytes == source.bytes);
        QVERIFY(image.length <= eeprom::kIdentityOffset);
        const BoardIdentity identity = eeprom::readIdentity(eeprom.bytes);
        QFETCH(int, id);
        QFETCH(QString, name);
        QFETCH(int, deviceClass);
        QCOMPARE(int(identity.id), id);
        QCOMPARE(QString::fromStdString(identity.name), name);
        QCOMPARE(int(identity.deviceClass), deviceClass);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("firmware");
        QTest::addColumn<QString>("reason");
        QTest::newRow("into the identity block")
            << intelHex({{0, QByteArray(0x3F00, '\x11')}}) << "would overlap the identity block at 0x3F00";
        QTest::newRow("outside internal memory") << intelHex({{0x5000, "\x01"}}) << "data at 0x5000";
        QTest::newRow("no data") << QByteArray(kHexEnd + "\n") << "no data";
    }
    void refused()
    {
        QFETCH(QByteArray, firmware);
        const QString out = m_dir.filePath("refused.hex");
        const ToolResult r = runTool(tool(), {"make-boot-image", writeFile(m_dir.filePath("bad.ihx"), firmware), out});
        QCOMPARE(r.exitCode, 1);
        QFETCH(QString, reason);
        QVERIFY2(r.err.contains(reason), qPrintable(r.err));
        QVERIFY(!QFile::exists(out));

        // The decoder refuses an image whose last record does not start the CPU.
        std::vector<std::uint8_t> bad = {0xC2, 0xB4, 0x04, 0x04, 0x10, 0,    0,    1,    0x00,
                                         0x01, 0x00, 0x00, 0xAA, 0x80, 0x01, 0xE6, 0x00, 0x01};
        formats::C2Image image;
        QVERIFY(!formats::decodeC2BootImage(bad.data(), bad.size(), image));
        bad.back() = 0x00;
        QVERIFY(formats::decodeC2BootImage(bad.data(), bad.size(), image));
        QCOMPARE(image.length, bad.size());
    }
};

QTEST_GUILESS_MAIN(TestBootImage)
#include "tst_bootimage.moc"
