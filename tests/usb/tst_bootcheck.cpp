// SPDX-License-Identifier: MIT
// A flash cannot leave a board unable to boot: images that would make the
// controller's boot ROM load a firmware it cannot (the C2 layout of the FX2
// fact sheet, section 4.16: 0xC2, VID, PID, DID little-endian, the
// configuration byte, records of a big-endian length of 1-1023 with bit 15
// marking the last and a big-endian address in 0x0000-0x3FFF or
// 0xE000-0xE1FF, and the closing record 80 01 E6 00 00) are refused with the
// record and address named, and the EEPROM is left as it was; forced, they
// are written. Through the library, on a simulated board.
#include "KoUSBLib.h"
#include "firmwarefiles.h"
#include "simboards.h"

#include <QTemporaryDir>
#include <QtTest>

using Chunks = QMap<unsigned, QByteArray>;

namespace {

QByteArray le16(unsigned v) { return QByteArray(1, char(v & 0xFF)) + char(v >> 8); }

QByteArray header(unsigned vid = 0x04B4, unsigned pid = 0x1004, unsigned first = 0xC2)
{
    return char(first) + le16(vid) + le16(pid) + le16(0) + char(0x01);
}

// A record: its length word as given (bit 15: the last), address, data.
QByteArray record(unsigned lengthWord, unsigned address, const QByteArray& data)
{
    return firmwarefiles::bigEndian(lengthWord, 2) + firmwarefiles::bigEndian(address, 2) + data;
}

QByteArray code(int n) { return QByteArray(n, '\x5A'); }

const QByteArray kClosing("\x80\x01\xE6\x00\x00", 5);

// Fifteen records of 1023 bytes: EEPROM offsets 0x0008-0x3C34.
QByteArray fifteenRecords()
{
    QByteArray out;
    for (int i = 0; i < 15; ++i)
        out += record(1023, 0x0000, code(1023));
    return out;
}

const QByteArray kSmallest = header() + record(3, 0x0000, code(3)) + kClosing;

}  // namespace

class TestBootCheck : public QObject {
    Q_OBJECT

    SimBoards boards;
    QTemporaryDir files;
    KoUSBDevice device{nullptr};

    QByteArray flashFile(const char* name, const Chunks& chunks)
    {
        return QFile::encodeName(firmwarefiles::writeFile(files.filePath(name), firmwarefiles::intelHex(chunks)));
    }

private slots:
    void initTestCase() { QVERIFY(InitUSB()); }

    // Each case on a fresh board, its EEPROM erased but for the identity.
    void init()
    {
        boards.unplugAll();
        boards.plug(0, 1, "Boot board");
        SimBoards::sync();
        device.SetDeviceHandle(GetUSBDevice(1, -1));
        QCOMPARE(boards.read(0).eeprom[0], std::uint8_t(0xFF));
    }

    void refusedUnlessForced_data()
    {
        QTest::addColumn<QByteArray>("before");  // on the board first (forced), from offset 0
        QTest::addColumn<Chunks>("image");
        QTest::addColumn<QString>("reason");  // how the reason starts; empty: flashed
        // An image from offset 0 on a fresh board.
        auto row = [](const char* name, const QByteArray& image, const char* reason) {
            QTest::newRow(name) << QByteArray() << Chunks{{0, image}} << QString(reason);
        };
        row("smallest boot image", kSmallest, "");
        row("data RAM at 0xE000", header() + record(0x200, 0xE000, code(0x200)) + kClosing, "");
        row("IDs only (C0), blank IDs", header(0, 0xFFFF, 0xC0), "");
        row("vendor 0000", header(0x0000) + record(3, 0, code(3)) + kClosing,
            "the header gives vendor:product 0000:1004");
        row("product FFFF", header(0x04B4, 0xFFFF) + record(3, 0, code(3)) + kClosing,
            "the header gives vendor:product 04B4:FFFF");
        row("record above the RAM", header() + record(3, 0x4000, code(3)) + kClosing,
            "record 1 at EEPROM offset 0x0008 loads 0x4000-0x4002, outside the controller's RAM");
        row("record across 0x3FFF", header() + record(4, 0x3FFE, code(4)) + kClosing,
            "record 1 at EEPROM offset 0x0008 loads 0x3FFE-0x4001");
        row("second record between the RAMs", header() + record(3, 0, code(3)) + record(1, 0xE200, code(1)) + kClosing,
            "record 2 at EEPROM offset 0x000F loads 0xE200-0xE200");
        row("length 0", header() + record(0, 0, {}) + kClosing, "record 1 at EEPROM offset 0x0008: length word 0x0000");
        row("length 1024", header() + record(1024, 0, code(1024)) + kClosing,
            "record 1 at EEPROM offset 0x0008: length word 0x0400");
        row("closing record keeps the CPU in reset",
            header() + record(3, 0, code(3)) + QByteArray("\x80\x01\xE6\x00\x01", 5),
            "record 2 at EEPROM offset 0x000F writes 0x01 to CPUCS");
        row("closing record to 0xE601", header() + record(3, 0, code(3)) + QByteArray("\x80\x01\xE6\x01\x00", 5),
            "record 2 at EEPROM offset 0x000F is marked last but loads 1 bytes to 0xE601");
        row("erased EEPROM after the records", header() + record(3, 0, code(3)),
            "record 2 at EEPROM offset 0x000F: length word 0xFFFF");
        row("no closing record before the end", header() + fifteenRecords() + record(967, 0, code(967)),
            "no closing record (80 01 E6 00 00) before the end of the 16384-byte EEPROM, after 16 records");
        row("record past the end", header() + fifteenRecords() + record(1023, 0, code(971 - 4)),
            "record 16 at EEPROM offset 0x3C35 (1023 bytes) runs past the end of the 16384-byte EEPROM");
        row("into the identity block", header() + fifteenRecords() + record(0x300, 0, code(0x300)) + kClosing,
            "its records run up to EEPROM offset 0x3F3D, into the identity block at 0x3F00");
        // The EEPROM as it will be is judged: a patch of one byte can break the image on the board.
        QTest::newRow("patch that stops the CPU")
            << kSmallest << Chunks{{0x13, "\x01"}} << "record 2 at EEPROM offset 0x000F writes 0x01 to CPUCS";
        QTest::newRow("identity over a broken boot image")
            << header(0x0000) + record(3, 0, code(3)) + kClosing << Chunks{{0x3F10, "Name"}} << "";
    }
    void refusedUnlessForced()
    {
        QFETCH(QByteArray, before);
        QFETCH(Chunks, image);
        QFETCH(QString, reason);
        if (!before.isEmpty())
            QVERIFY2(device.LoadHexFileToEepromWithBackup(flashFile("before.hex", {{0, before}}), nullptr,
                                                          KoUSBDevice::FlashUnchecked, nullptr, nullptr),
                     device.GetLastError());
        const std::vector<std::uint8_t> was = boards.read(0).eeprom;
        const QByteArray path = flashFile("image.hex", image);
        const bool flashed = device.LoadHexFileToEeprom(path);
        if (reason.isEmpty()) {
            QVERIFY2(flashed, device.GetLastError());
        } else {
            QVERIFY(!flashed);
            QVERIFY2(QString(device.GetLastError())
                         .startsWith("file refused: the controller would not boot from this EEPROM: " + reason),
                     device.GetLastError());
            QVERIFY(boards.read(0).eeprom == was);
            QVERIFY2(device.LoadHexFileToEepromWithBackup(path, nullptr, KoUSBDevice::FlashUnchecked, nullptr, nullptr),
                     device.GetLastError());
        }
        const std::vector<std::uint8_t> now = boards.read(0).eeprom;
        for (auto it = image.begin(); it != image.end(); ++it)
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(now.data()) + it.key(), it.value().size()), it.value());
    }
};

QTEST_GUILESS_MAIN(TestBootCheck)
#include "tst_bootcheck.moc"
