// SPDX-License-Identifier: MIT
// The simulated board's "Block" pipe through the board library, as our
// firmware serves it (docs/board-protocol.md): a write of at most 64 bytes
// loops back, every IN packet is the looped-back bytes and then byte i of the
// packet is i; reads of any size up to 64 KiB, the record of the last write
// and failures. No timings are asserted.
#include "KoUSBLib.h"
#include "simboards.h"

#include <QtTest>

#include <numeric>
#include <vector>

class TestSimBulk : public QObject {
    Q_OBJECT

    SimBoards boards;

    KoUSBDevice* plugOne(double rate = 40)
    {
        SimBoards::Options options;
        options.id = 9;
        options.rate = rate;
        boards.plug(0, options);
        SimBoards::sync();
        return new KoUSBDevice(GetUSBDeviceIndexed(0));
    }

private slots:
    void initTestCase() { QVERIFY(InitUSB()); }
    void cleanup()
    {
        boards.unplugAll();
        SimBoards::sync();
    }

    void writesLoopBack()
    {
        std::unique_ptr<KoUSBDevice> device(plugOne());
        std::vector<unsigned char> out(64);
        std::iota(out.begin(), out.end(), 3);
        QVERIFY(device->WriteBlock(out.data(), int(out.size())));
        QCOMPARE(device->GetLastErrorCode(), int(KOUSB_SUCCESS));
        std::vector<unsigned char> in(64, 0);
        QVERIFY(device->ReadBlock(in.data(), int(in.size())));
        QCOMPARE(in, out);
    }

    void readsBeyondTheLoopbackGetThePattern()
    {
        std::unique_ptr<KoUSBDevice> device(plugOne());
        unsigned char out[2] = {0xA5, 0x5A};
        QVERIFY(device->WriteBlock(out, 2));
        unsigned char in[6] = {};
        QVERIFY(device->ReadBlock(in, 6));
        QCOMPARE(std::vector<unsigned char>(in, in + 6), (std::vector<unsigned char>{0xA5, 0x5A, 2, 3, 4, 5}));
        QVERIFY(device->ReadBlock(in, 2));  // a packet of its own
        QCOMPARE(std::vector<unsigned char>(in, in + 2), (std::vector<unsigned char>{0, 1}));
    }

    void anySizeUpTo64KiBSucceedsOnAHealthyBoard()
    {
        std::unique_ptr<KoUSBDevice> device(plugOne());
        std::vector<unsigned char> buffer(65537);
        for (int n : {0, 1, 511, 512, 4096, 65536}) {
            QVERIFY2(device->ReadBlock(buffer.data(), n), qPrintable(QString::number(n)));
            QVERIFY2(device->WriteBlock(buffer.data(), n), qPrintable(QString::number(n)));
        }
        QVERIFY(!device->ReadBlock(buffer.data(), 65537));
        QCOMPARE(device->GetLastErrorCode(), int(KOUSB_ERROR_BAD_ARGUMENT));
        QVERIFY(!device->ReadBlock(buffer.data(), -1));
    }

    void aShortWriteIsRecordedInTheBoardFile()
    {
        std::unique_ptr<KoUSBDevice> device(plugOne());
        unsigned char out[16];
        std::iota(out, out + 16, 0x10);
        QVERIFY(device->WriteBlock(out, 5));
        auto state = boards.read(0);
        QCOMPARE(state.lastWrites.count("Block"), std::size_t(1));
        QCOMPARE(state.lastWrites["Block"].length, std::size_t(5));
        QCOMPARE(state.lastWrites["Block"].head, (std::vector<std::uint8_t>{0x10, 0x11, 0x12, 0x13, 0x14}));
        QVERIFY(device->WriteBlock(out, 16));
        QCOMPARE(boards.read(0).lastWrites["Block"].length, std::size_t(16));
    }

    // A long write is in the board's shared state at once; the board file,
    // which holds configuration and EEPROM only, is not rewritten for it.
    void aLongWriteIsRecordedAtOnceWithoutTheFile()
    {
        std::unique_ptr<KoUSBDevice> device(plugOne());
        const QByteArray fileBefore = [&] {
            QFile f(QString::fromStdString(boards.path(0)));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        std::vector<unsigned char> big(4096);
        std::iota(big.begin(), big.end(), 0x40);
        QVERIFY(device->WriteBlock(big.data(), int(big.size())));
        auto state = boards.read(0);
        QCOMPARE(state.lastWrites["Block"].length, std::size_t(4096));
        QCOMPARE(state.lastWrites["Block"].head, std::vector<std::uint8_t>(big.begin(), big.begin() + 16));
        QFile f(QString::fromStdString(boards.path(0)));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), fileBefore);
    }

    void aBoardThatHasGoneFails()
    {
        std::unique_ptr<KoUSBDevice> device(plugOne());
        boards.unplug(0);
        std::vector<unsigned char> buffer(4096, 0xEE);
        QVERIFY(!device->WriteBlock(buffer.data(), 4096));
        QCOMPARE(device->GetLastErrorCode(), int(KOUSB_ERROR_UNPLUGGED));
        QVERIFY(!device->ReadBlock(buffer.data(), 4096));
        QCOMPARE(int(buffer[0]), 0xEE);  // untouched
    }

    void noBoardFails()
    {
        KoUSBDevice device(nullptr);
        unsigned char buffer[16];
        QVERIFY(!device.WriteBlock(buffer, 16));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_NO_BOARD));
    }
};

QTEST_MAIN(TestSimBulk)
#include "tst_simbulk.moc"
