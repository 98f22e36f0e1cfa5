// SPDX-License-Identifier: MIT
// Verified EEPROM flashes and EEPROM read-back, through the library's
// interface on simulated boards, and the Intel HEX writer that saves an
// EEPROM so that it can be flashed back.
#include "KoUSBLib.h"
#include "eepromlayout.h"
#include "firmwarefiles.h"
#include "formats/intelhex.h"
#include "simboards.h"

#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <utility>
#include <vector>

class TestEepromVerify : public QObject {
    Q_OBJECT

    SimBoards boards;
    QTemporaryDir files;

    // Plugs a board in slot 0 (with the drop fault at `dropAt` if given) and
    // binds `device` to it.
    void plugBoard(KoUSBDevice& device, std::optional<std::size_t> dropAt = std::nullopt)
    {
        boards.plug(0, 1, "Verify board");
        if (dropAt) {
            kousb::sim::BoardState state = boards.read(0);
            state.eepromDropOffset = dropAt;
            boards.writeRaw("slot-00.board", kousb::sim::formatBoardFile(state));
        }
        SimBoards::sync();
        device.SetDeviceHandle(GetUSBDevice(1, -1));
        QVERIFY(device.GetEEPROMSize() > 0);
    }

    QString imageFile(const QMap<unsigned, QByteArray>& chunks)
    {
        return firmwarefiles::writeFile(files.filePath("image.hex"), firmwarefiles::intelHex(chunks));
    }

    static void recordProgress(void* context, long long done, long long total)
    {
        static_cast<std::vector<std::pair<long long, long long>>*>(context)->emplace_back(done, total);
    }

private slots:
    void initTestCase() { QVERIFY(InitUSB()); }
    void cleanup()
    {
        boards.unplugAll();
        SimBoards::sync();
    }

    void flashReportsProgressAndReadsBack()
    {
        KoUSBDevice device(nullptr);
        plugBoard(device);
        QCOMPARE(device.GetEEPROMSize(), int(kousb::eeprom::kSize));
        const QByteArray data = QByteArray("\xC0\x01\x02\x03", 4).repeated(40);  // 160 bytes over three pages
        std::vector<std::pair<long long, long long>> calls;
        QVERIFY2(
            device.LoadHexFileToEepromWithProgress(qPrintable(imageFile({{0x100, data}})), &recordProgress, &calls),
            device.GetLastError());
        QVERIFY(calls.size() >= 3);
        for (std::size_t i = 0; i < calls.size(); ++i) {
            QCOMPARE(calls[i].second, calls.front().second);
            QVERIFY(calls[i].first <= calls[i].second);
            if (i > 0)
                QVERIFY(calls[i].first >= calls[i - 1].first);
        }
        QCOMPARE(calls.front().first, 0LL);
        QCOMPARE(calls.back().first, calls.back().second);

        unsigned char back[160] = {};
        QVERIFY(device.ReadEEPROM(0x100, back, 160));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(back), 160), data);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(boards.read(0).eeprom.data() + 0x100), 160), data);
    }

    void readBackRefusesWhatIsNotThere()
    {
        KoUSBDevice device(nullptr);
        unsigned char buffer[16] = {};
        QVERIFY(!device.ReadEEPROM(0, buffer, 16));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_NO_BOARD));
        QCOMPARE(device.GetEEPROMSize(), 0);
        plugBoard(device);
        const int size = device.GetEEPROMSize();
        QVERIFY(device.ReadEEPROM(size - 16, buffer, 16));
        QVERIFY(!device.ReadEEPROM(size - 15, buffer, 16));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_OUT_OF_RANGE));
        QVERIFY(!device.ReadEEPROM(-1, buffer, 1));
        QVERIFY(!device.ReadEEPROM(0, buffer, -1));
        QVERIFY(!device.ReadEEPROM(0, nullptr, 1));
    }

    // The dropped page is reported at its first byte that the image changes;
    // the pages that were stored stay stored.
    void droppedWriteFailsVerification()
    {
        KoUSBDevice device(nullptr);
        plugBoard(device, 0x0450);
        const QByteArray before(reinterpret_cast<const char*>(boards.read(0).eeprom.data() + 0x440), 64);
        const QString path = imageFile({{0x0400, QByteArray(0x80, '\x5A')}});
        QVERIFY(!device.LoadHexFileToEeprom(qPrintable(path)));
        QCOMPARE(QString(device.GetLastError()),
                 QStringLiteral("verification failed: the EEPROM reads 0xFF at offset 0x0440, the image has 0x5A"));
        const auto after = boards.read(0).eeprom;
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(after.data() + 0x400), 64), QByteArray(64, '\x5A'));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(after.data() + 0x440), 64), before);
        QVERIFY(boards.read(0).eepromDropOffset == std::optional<std::size_t>(0x0450));
    }

    // A page the image does not touch is not written, so its drop is no fault.
    void dropOutsideTheImageIsHarmless()
    {
        KoUSBDevice device(nullptr);
        plugBoard(device, 0x2000);
        QVERIFY2(device.LoadHexFileToEeprom(qPrintable(imageFile({{0x10, QByteArray(8, '\x11')}}))),
                 device.GetLastError());
    }

    void faultKeyIsParsedStrictly_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("taken");
        QTest::newRow("hex offset") << "3f08" << true;
        QTest::newRow("last byte") << "3fff" << true;
        QTest::newRow("beyond the EEPROM") << "4000" << false;
        QTest::newRow("not hex") << "3g08" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("signed") << "-1" << false;
    }

    void faultKeyIsParsedStrictly()
    {
        QFETCH(QString, value);
        QFETCH(bool, taken);
        kousb::sim::BoardState state = kousb::sim::blankBoard();
        state.instance = "abc";
        std::string text = kousb::sim::formatBoardFile(state) + "fault-eeprom-drop " + value.toStdString() + "\n";
        std::string error;
        kousb::sim::BoardState parsed;
        QCOMPARE(kousb::sim::parseBoardFile(text, parsed, error), taken);
        if (taken) {
            QCOMPARE(parsed.eepromDropOffset.value(), std::size_t(value.toUInt(nullptr, 16)));
            kousb::sim::BoardState again;
            QVERIFY(kousb::sim::parseBoardFile(kousb::sim::formatBoardFile(parsed), again, error));
            QVERIFY(again.eepromDropOffset == parsed.eepromDropOffset);
        } else {
            QVERIFY(QString::fromStdString(error).contains("fault-eeprom-drop"));
        }
    }

    void hexWriterRoundTrip_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("address");
        QTest::newRow("one record") << 16 << 0;
        QTest::newRow("short last record") << 21 << 0;
        QTest::newRow("the EEPROM") << int(kousb::eeprom::kSize) << 0;
        QTest::newRow("beyond 64 KiB") << 0x10000 + 40 << 0;
        QTest::newRow("empty") << 0 << 0;
        QTest::newRow("the identity block alone")
            << int(kousb::eeprom::kIdentityBlockSize) << int(kousb::eeprom::kIdentityOffset);
        QTest::newRow("unaligned, across 64 KiB") << 40 << 0xFFF8;
    }

    void hexWriterRoundTrip()
    {
        QFETCH(int, size);
        QFETCH(int, address);
        std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
        const auto at = static_cast<std::size_t>(address);
        const std::string text = kousb::formats::formatIntelHex(data.data(), data.size(), at);
        kousb::formats::HexImage image;
        const kousb::Status s = kousb::formats::parseIntelHex(reinterpret_cast<const std::uint8_t*>(text.data()),
                                                              text.size(), at + data.size(), image);
        QVERIFY2(s.isOk(), s.message().c_str());
        QCOMPARE(image.byteCount, data.size());
        QVERIFY(std::equal(data.begin(), data.end(), image.bytes.begin() + address));
        QCOMPARE(std::count(image.present.begin(), image.present.begin() + address, true), 0);
        QVERIFY(QByteArray::fromStdString(text).endsWith(":00000001FF\n"));
        QCOMPARE(QByteArray::fromStdString(text).contains(":020000040001F9\n"), address + size > 0x10000);
    }

    void hexFileIsReplacedWhole()
    {
        const std::vector<std::uint8_t> data(64, 0xAB);
        const std::string path = files.filePath("saved.hex").toStdString();
        QVERIFY(kousb::formats::writeIntelHexFile(path, data.data(), data.size()).isOk());
        kousb::formats::HexImage image;
        QVERIFY(kousb::formats::readIntelHexFile(path, 64, image).isOk());
        QVERIFY(image.bytes == data);
        QVERIFY(!QFile::exists(QString::fromStdString(path + ".part")));
        const kousb::Status s =
            kousb::formats::writeIntelHexFile(files.filePath("none/x.hex").toStdString(), data.data(), data.size());
        QCOMPARE(s.code(), kousb::ErrorCode::FileUnwritable);
    }
};

QTEST_GUILESS_MAIN(TestEepromVerify)
#include "tst_eepromverify.moc"
