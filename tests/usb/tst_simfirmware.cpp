// SPDX-License-Identifier: MIT
// What a simulated board does with firmware files, through the library's
// interface: it checks each file as the hardware would, takes it (with the
// time the transfer takes) or refuses it with a reason and changes nothing.
#include "KoUSBLib.h"
#include "eepromlayout.h"
#include "firmwarefiles.h"
#include "simboards.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using namespace firmwarefiles;

namespace {

// A full EEPROM image whose identity block says `id`, `name` and class 9,
// with a boot header at the start.
std::vector<std::uint8_t> eepromWithIdentity(int id, const std::string& name)
{
    std::vector<std::uint8_t> image(kousb::eeprom::kSize, kousb::eeprom::kErased);
    const std::uint8_t header[] = {0xC0, 0xB4, 0x04, 0x13, 0x86, 0x01, 0x00, 0x00};
    std::copy(std::begin(header), std::end(header), image.begin());
    kousb::eeprom::writeId(image, id);
    kousb::eeprom::writeName(image, name);
    kousb::eeprom::writeClass(image, 9);
    kousb::eeprom::writeFirmwareVersion(image, 3);
    return image;
}

QByteArray bytes(const std::vector<std::uint8_t>& v, std::size_t from, std::size_t n)
{
    return QByteArray(reinterpret_cast<const char*>(v.data() + from), int(n));
}

}  // namespace

class TestSimFirmware : public QObject {
    Q_OBJECT

    SimBoards boards;
    QTemporaryDir files;
    KoUSBDevice device{nullptr};

    std::string file(const QString& name, const QByteArray& content)
    {
        return QFile::encodeName(writeFile(files.filePath(name), content)).toStdString();
    }
    QByteArray boardFile(int slot = 0) const { return readFile(QString::fromStdString(boards.path(slot))); }
    QString error() { return QString::fromLatin1(device.GetLastError()); }

private slots:
    void initTestCase()
    {
        boards.plug(0, 1, "Board one");
        QVERIFY(InitUSB());
        device.SetDeviceHandle(GetUSBDevice(1, -1));
        QCOMPARE(QString::fromLatin1(device.GetName()), QStringLiteral("Board one"));
    }

    void fpgaConfigured()
    {
        // A name outside Latin-1, in the platform's encoding.
        const std::string path = file(QString::fromUtf8("конфиг.bit"), bitFile("xc3s500e-4fg320", 400000, "blink.ncd"));
        QVERIFY2(device.DownloadXilinx(path.c_str()), device.GetLastError());
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_SUCCESS));
        QCOMPARE(QString::fromStdString(boards.read(0).fpgaDesign), QStringLiteral("blink.ncd"));
        QVERIFY(QString::fromLatin1(device.GetEndpointInfo()).contains("FPGA 3s500e: configured with blink.ncd"));
    }

    void fpgaRefused_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("wrong part") << bitFile(
            "3s1200efg320") << "file refused: wrong part: the file is for 3s1200efg320, this board's FPGA is 3s500e";
        QTest::newRow("truncated") << bitFile().left(100)
                                   << "file refused: truncated: the bitstream has 64 bytes, the file holds 11";
        QTest::newRow("trailing junk") << bitFile() + "x"
                                       << "file refused: trailing junk: 1 bytes after the bitstream";
        QTest::newRow("not a bit file") << QByteArray("hello") << "file refused: not a Xilinx .bit file (bad preamble)";
    }

    void fpgaRefused()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QByteArray before = boardFile();
        QVERIFY(!device.DownloadXilinx(file("bad.bit", content).c_str()));
        QCOMPARE(error(), reason);
        QCOMPARE(boardFile(), before);
    }

    void missingFiles()
    {
        const std::string missing = QFile::encodeName(files.filePath("none")).toStdString();
        QVERIFY(!device.DownloadXilinx(missing.c_str()));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_FILE_NOT_FOUND));
        QVERIFY(!device.LoadFirmwareFromFile(missing.c_str()));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_FILE_NOT_FOUND));
        QVERIFY(!device.LoadHexFileToEeprom(missing.c_str()));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_FILE_NOT_FOUND));
    }

    void controllerFirmware()
    {
        QVERIFY2(device.LoadFirmwareFromFile(file("fw.bix", QByteArray(1000, '\x02')).c_str()), device.GetLastError());
        QCOMPARE(QString::fromStdString(boards.read(0).controllerFirmware), QStringLiteral("fw.bix (1000 bytes)"));
        QVERIFY(QString::fromLatin1(device.GetEndpointInfo()).contains("Controller firmware: fw.bix (1000 bytes)"));

        // Intel HEX is taken too (by its name), in any address order.
        const QByteArray hex = hexRecord(0, 0x0100, "main") + "\n" + hexRecord(0, 0x0000, QByteArray::fromHex("020100"))
                               + "\n" + kHexEnd + "\n";
        QVERIFY2(device.LoadFirmwareFromFile(file("fw.IHX", hex).c_str()), device.GetLastError());
        QCOMPARE(QString::fromStdString(boards.read(0).controllerFirmware), QStringLiteral("fw.IHX (7 bytes)"));

        // The whole internal RAM fits.
        QVERIFY(device.LoadFirmwareFromFile(file("full.bix", QByteArray(16384, 'x')).c_str()));
    }

    void controllerFirmwareRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("bix larger than the RAM")
            << "big.bix" << QByteArray(16385, 'x') << "file refused: image larger than the 16384-byte memory";
        QTest::newRow("empty bix") << "empty.bix" << QByteArray() << "file refused: empty image";
        QTest::newRow("hex past the RAM")
            << "big.hex" << hexRecord(0, 0x3FFF, "ab") + "\n" + kHexEnd
            << "file refused: line 1: data at 0x4000 outside the memory (0x0000-0x3FFF, 0xE000-0xE1FF)";
        QTest::newRow("hex bad checksum")
            << "bad.hex" << QByteArray(":0100000041BF\n") + kHexEnd << "file refused: line 1: bad checksum";
        QTest::newRow("hex without data") << "none.hex" << kHexEnd << "file refused: no data in the image";
    }

    void controllerFirmwareRefused()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QByteArray before = boardFile();
        QVERIFY(!device.LoadFirmwareFromFile(file(name, content).c_str()));
        QCOMPARE(error(), reason);
        QCOMPARE(boardFile(), before);
    }

    void eepromFlashed()
    {
        // The boot header and the identity block: two pages of the EEPROM.
        const std::vector<std::uint8_t> image = eepromWithIdentity(77, "Flashed board");
        QMap<unsigned, QByteArray> chunks;
        chunks[0] = bytes(image, 0, 8);
        chunks[kousb::eeprom::kIdentityOffset] =
            bytes(image, kousb::eeprom::kIdentityOffset, kousb::eeprom::kIdentityBlockSize);
        const std::vector<std::uint8_t> before = boards.read(0).eeprom;
        const std::string path = file("image.hex", intelHex(chunks, "\r\n"));
        QVERIFY2(device.LoadHexFileToEeprom(path.c_str()), device.GetLastError());
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_SUCCESS));

        // The identity is what the image says: flashing over the block changes it.
        QCOMPARE(device.GetId(), 77);
        QCOMPARE(QString::fromLatin1(device.GetName()), QStringLiteral("Flashed board"));
        QCOMPARE(device.GetClass(), 9);
        QCOMPARE(device.GetFWVersion(), 3);
        const std::vector<std::uint8_t> after = boards.read(0).eeprom;
        QCOMPARE(bytes(after, 0, 8), bytes(image, 0, 8));
        // Bytes the image does not give keep their old values.
        QCOMPARE(bytes(after, 8, 0x3F00 - 8), bytes(before, 8, 0x3F00 - 8));
    }

    void acceptedImagesReadBackIdentically()
    {
        // Controller RAM: a .bix image, read back through the controller's memory.
        QByteArray bix;
        for (int i = 0; i < 4096; ++i)
            bix += char((i * 7 + 3) & 0xFF);
        QVERIFY2(device.LoadFirmwareFromFile(file("pattern.bix", bix).c_str()), device.GetLastError());
        for (int at = 0; at < bix.size(); at += 16) {
            unsigned char got[16];
            QVERIFY(device.Read8051(static_cast<unsigned short>(at), got, 16));
            QCOMPARE(QByteArray(reinterpret_cast<char*>(got), 16), bix.mid(at, 16));
        }

        // EEPROM: a HEX image over its first KiB, read back over I2C from the
        // EEPROM chip (a two-byte offset written first, then the data).
        QByteArray data;
        for (int i = 0; i < 1024; ++i)
            data += char((i * 13 + 5) & 0xFF);
        QMap<unsigned, QByteArray> chunks;
        chunks[0] = data;
        QVERIFY2(device.LoadHexFileToEeprom(file("pattern.hex", intelHex(chunks)).c_str()), device.GetLastError());
        for (int at = 0; at < data.size(); at += 16) {
            unsigned char offset[2] = {static_cast<unsigned char>(at >> 8), static_cast<unsigned char>(at & 0xFF)};
            unsigned char got[16];
            QVERIFY(device.WriteI2C(0x51, offset, 2));
            QVERIFY(device.ReadI2C(0x51, got, 16));
            QCOMPARE(QByteArray(reinterpret_cast<char*>(got), 16), data.mid(at, 16));
        }
        QCOMPARE(bytes(boards.read(0).eeprom, 0, 1024), data);
    }

    void refusedImageLeavesTheEepromAsItWas_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        const QByteArray good = hexRecord(0, 0, QByteArray(16, 'A')) + "\n";
        // The bad line comes after good data, which must not be written either.
        QTest::newRow("bad checksum") << good + good + ":0100000041BF\n" + kHexEnd
                                      << "file refused: line 3: bad checksum";
        QTest::newRow("past the EEPROM") << good + hexRecord(0, 0x3FF8, QByteArray(16, 'B')) + "\n" + kHexEnd
                                         << "file refused: line 2: data at 0x4000 beyond the 16384-byte memory";
        QTest::newRow("no end record") << good << "file refused: no end-of-file record";
        QTest::newRow("malformed line") << good + "garbage\n" + kHexEnd
                                        << "file refused: line 2: does not start with ':'";
    }

    void refusedImageLeavesTheEepromAsItWas()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QByteArray before = boardFile();
        QVERIFY(!device.LoadHexFileToEeprom(file("bad.hex", content).c_str()));
        QCOMPARE(error(), reason);
        QCOMPARE(boardFile(), before);
    }

    void unboundObjectRefuses()
    {
        KoUSBDevice none(nullptr);
        const std::string path = file("any.hex", kHexEnd);
        QVERIFY(!none.LoadHexFileToEeprom(path.c_str()));
        QCOMPARE(none.GetLastErrorCode(), int(KOUSB_ERROR_NO_BOARD));
        QVERIFY(!none.DownloadXilinx(path.c_str()));
        QVERIFY(!none.LoadFirmwareFromFile(path.c_str()));
    }

    void unpluggedMidFlash()
    {
        boards.plug(1, 2, "Board two");
        QVERIFY(SimBoards::sync());
        KoUSBDevice two(GetUSBDevice(2, -1));
        QCOMPARE(two.GetId(), 2);
        const std::vector<std::uint8_t> image = eepromWithIdentity(5, "never");
        QMap<unsigned, QByteArray> chunks;
        chunks[0] = bytes(image, 0, image.size());  // 256 pages: about 1.2 s
        const std::string path = file("full.hex", intelHex(chunks));

        bool ok = true;
        std::thread worker([&]() { ok = two.LoadHexFileToEeprom(path.c_str()); });
        // Whether the flash is a page in or has not begun, the board goes
        // before it can end: the result is the same.
        QTest::qWait(150);
        boards.unplug(1);
        worker.join();
        QVERIFY(!ok);
        QCOMPARE(two.GetLastErrorCode(), int(KOUSB_ERROR_UNPLUGGED));
        QVERIFY(!QFile::exists(QString::fromStdString(boards.path(1))));  // not brought back by a write
    }
};

QTEST_GUILESS_MAIN(TestSimFirmware)
#include "tst_simfirmware.moc"
