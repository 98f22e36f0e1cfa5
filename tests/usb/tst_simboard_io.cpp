// SPDX-License-Identifier: MIT
// The simulated board's access paths through the library: what each chip
// does with what arrives (facts from the 24LC128, LM75 and M25P16 sheets and
// the board protocol), what is refused, what the board file keeps, what a
// second user of the board sees, and what `kousb-sim show` prints.
#include "KoUSBLib.h"
#include "eepromlayout.h"
#include "sim/boardstore.h"
#include "sim/simboard.h"
#include "sim/simdirectory.h"
#include "simboards.h"

#include <QProcess>
#include <QtTest>

#include <climits>
#include <memory>
#include <vector>

using namespace kousb;
using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

Bytes readI2c(KoUSBDevice& device, unsigned char address, int n)
{
    Bytes b(std::size_t(n), 0xEE);
    if (!device.ReadI2C(address, b.data(), static_cast<unsigned short>(n)))
        return {};
    return b;
}

bool writeI2c(KoUSBDevice& device, unsigned char address, Bytes b)
{
    return device.WriteI2C(address, b.data(), static_cast<unsigned short>(b.size()));
}

}  // namespace

class TestSimBoardIo : public QObject {
    Q_OBJECT

    SimBoards boards;

    QString runTool(const QStringList& args)
    {
        QProcess process;
        process.start(QString::fromLocal8Bit(qgetenv("KOUSB_SIM_TOOL")),
                      QStringList{"--dir", QString::fromStdString(boards.dir())} + args);
        if (!process.waitForFinished(30000))
            return {};
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    KoUSBDevice* plugOne(const std::string& name)
    {
        boards.plug(0, 1, name);
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

    // 24LC128: two offset bytes, the page buffer wraps within its 64 bytes,
    // a read runs on from the address counter through the whole chip and
    // wraps from the last byte to the first; the top two offset bits do not
    // exist on a 16 KiB part.
    void eepromPagesAndCounter()
    {
        std::unique_ptr<KoUSBDevice> d(plugOne("pages"));
        QVERIFY(writeI2c(*d, 0x51, {0x00, 0x3E, 1, 2, 3, 4}));
        QVERIFY(writeI2c(*d, 0x51, {0x00, 0x3E}));
        QCOMPARE(readI2c(*d, 0x51, 4), (Bytes{1, 2, 0xFF, 0xFF}));  // the next page is untouched
        QVERIFY(writeI2c(*d, 0x51, {0xC0, 0x00}));
        QCOMPARE(readI2c(*d, 0x51, 2), (Bytes{3, 4}));
        QVERIFY(writeI2c(*d, 0x51, {0x3F, 0xFF, 0x77}));
        QVERIFY(writeI2c(*d, 0x51, {0x3F, 0xFF}));
        QCOMPARE(readI2c(*d, 0x51, 3), (Bytes{0x77, 3, 4}));
        QVERIFY(writeI2c(*d, 0x51, {0x00}));  // an incomplete offset changes nothing
        QCOMPARE(readI2c(*d, 0x51, 1), (Bytes{0xFF}));
    }

    // LM75: a pointer byte, then the register's bytes, most significant
    // first; temperatures in the top 9 bits; T_HYST and T_OS power up at 75
    // and 80 °C; a read repeats the register.
    void temperatureSensorRegisters_data()
    {
        QTest::addColumn<Bytes>("write");
        QTest::addColumn<Bytes>("read");
        QTest::newRow("temperature, 25.5 °C") << Bytes{0} << Bytes{0x19, 0x80, 0x19, 0x80};
        QTest::newRow("T_OS at power-up") << Bytes{3} << Bytes{0x50, 0x00};
        QTest::newRow("T_HYST keeps 9 bits") << Bytes{2, 0x4B, 0xFF} << Bytes{0x4B, 0x80};
        QTest::newRow("configuration, one byte") << Bytes{1, 0x1F, 0x55} << Bytes{0x1F, 0x1F, 0x1F};
        QTest::newRow("temperature is read-only") << Bytes{0, 0x00, 0x00} << Bytes{0x19, 0x80};
    }
    void temperatureSensorRegisters()
    {
        QFETCH(Bytes, write);
        QFETCH(Bytes, read);
        std::unique_ptr<KoUSBDevice> d(plugOne("sensor"));
        QVERIFY2(writeI2c(*d, 0x48, write), d->GetLastError());
        QCOMPARE(readI2c(*d, 0x48, int(read.size())), read);
    }

    // M25P16: 2 MiB; a transfer must lie wholly inside it.
    void spiFlashRange_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("ok");
        QTest::newRow("the last two bytes") << 0x1FFFFE << 2 << true;
        QTest::newRow("past the end") << 0x1FFFFF << 2 << false;
        QTest::newRow("nothing at the end") << 0x200000 << 0 << false;
        QTest::newRow("negative") << -1 << 1 << false;
        QTest::newRow("lowest int") << INT_MIN << 1 << false;
        QTest::newRow("highest int") << INT_MAX << 1 << false;
    }
    void spiFlashRange()
    {
        QFETCH(int, address);
        QFETCH(int, length);
        QFETCH(bool, ok);
        std::unique_ptr<KoUSBDevice> d(plugOne("flash"));
        Bytes data{5, 6}, back(2, 0xEE);
        QCOMPARE(d->WriteSPI(address, data.data(), static_cast<unsigned short>(length)), ok);
        QCOMPARE(d->ReadSPI(address, back.data(), static_cast<unsigned short>(length)), ok);
        if (ok) {
            QCOMPARE(back, data);
        } else {
            QVERIFY2(QString(d->GetLastError())
                         .startsWith("address out of range: the SPI flash holds bytes 0x000000 "
                                     "to 0x1FFFFF"),
                     d->GetLastError());
            QCOMPARE(back, Bytes(2, 0xEE));
        }
    }

    void eachWriteIsRecordedInTheBoardFile()
    {
        std::unique_ptr<KoUSBDevice> device(plugOne("rec"));
        Bytes data{9, 8, 7};
        QVERIFY(device->WriteExternal(1, data.data(), 3));
        QVERIFY(device->WriteXilinx(2, data.data(), 2));
        QVERIFY(device->Write8051(3, data.data(), 1));
        QVERIFY(device->WriteI2C(0x48, data.data(), 0));  // a probe: recorded as 0 bytes
        QVERIFY(device->WriteSPI(4, data.data(), 3));
        QVERIFY(device->WriteSerial(data.data(), 3));
        QVERIFY(device->WriteCommand(data.data(), 3));
        Bytes report(16, 0x5A);
        QVERIFY(device->WriteInterrupt(report.data()));
        Bytes big(1000, 0x11);
        QVERIFY(device->WriteExternal(0, big.data(), 1000));  // long: the first 16 bytes are kept

        const auto last = boards.read(0).lastWrites;
        QCOMPARE(last.at("External").length, std::size_t(1000));
        QCOMPARE(last.at("External").head, Bytes(16, 0x11));
        QCOMPARE(last.at("FPGA").head, (Bytes{9, 8}));
        QCOMPARE(last.at("Controller").head, (Bytes{9}));
        QCOMPARE(last.at("I2C").length, std::size_t(0));
        QCOMPARE(last.at("SPI").head, data);
        QCOMPARE(last.at("UART").head, data);
        QCOMPARE(last.at("Command").head, data);
        QCOMPARE(last.at("Interrupt").head, report);

        const QString shown = runTool({"show", "0"});
        QVERIFY2(shown.contains("  Command: 3 bytes: 09 08 07\n"), qPrintable(shown));
        QVERIFY(shown.contains("  External: 1000 bytes: 11 11 11 11 11 11 11 11 11 11 11 11 11 11 11 11 ...\n"));
        QVERIFY(shown.contains("  I2C: 0 bytes: \n"));
        QVERIFY(shown.contains("  Interrupt: 16 bytes: 5a"));
    }

    // The 16-bit spaces end at 0xFFFF: a transfer past it is refused whole.
    void transfersPastTheSpaceAreRefused()
    {
        std::unique_ptr<KoUSBDevice> device(plugOne("long"));
        Bytes data(70000, 0x42), back(4, 0xEE);
        QVERIFY(!device->WriteExternal(0xFFFE, data.data(), 3));
        QCOMPARE(device->GetLastErrorCode(), int(KOUSB_ERROR_OUT_OF_RANGE));
        QVERIFY(!device->WriteExternal(0, data.data(), int(data.size())));
        QVERIFY(device->ReadExternal(0xFFFC, back.data(), 4));
        QCOMPARE(back, Bytes(4, 0));
    }

    // A second user of the board (another process: here a second SimBoard on
    // its files) sees all of it; unplug and replug is a power cycle, which
    // keeps the EEPROM only.
    void sharedWhilePluggedAndPowerCycled()
    {
        Bytes data{7, 8, 9};
        {
            std::unique_ptr<KoUSBDevice> device(plugOne("durable"));
            QVERIFY(writeI2c(*device, 0x51, {0x01, 0x00, 0xCA, 0xFE}));
            QVERIFY(writeI2c(*device, 0x48, {3, 0x10, 0x00}));
            QCOMPARE(readI2c(*device, 0x48, 2), (Bytes{0x10, 0x00}));
            QVERIFY(device->WriteExternal(16, data.data(), 3));
        }
        // Each user sets the EEPROM's address counter itself: its firmware
        // moved it reading the identity when the user found the board.
        auto check = [&](sim::SimBoard& board, const Bytes& eeprom, const Bytes& tos, const Bytes& external) {
            const Bytes offset{0x01, 0x00};
            QVERIFY(board.writeI2C(0x51, offset.data(), 2).isOk());
            Bytes back(2);
            QVERIFY(board.readI2C(0x51, back.data(), 2).isOk());
            QCOMPARE(back, eeprom);
            const Bytes pointer{3};
            QVERIFY(board.writeI2C(0x48, pointer.data(), 1).isOk());
            QVERIFY(board.readI2C(0x48, back.data(), 2).isOk());
            QCOMPARE(back, tos);
            Bytes ext(3);
            QVERIFY(board.readExternal(16, ext.data(), 3).isOk());
            QCOMPARE(ext, external);
        };
        sim::SimBoard other(boards.path(0), boards.read(0));
        check(other, {0xCA, 0xFE}, {0x10, 0x00}, data);

        std::string error;
        const sim::BoardStore store(boards.dir());
        QVERIFY2(store.unplug(0, error) && store.replug(0, error), error.c_str());
        QVERIFY(!other.readExternal(16, Bytes(3).data(), 3).isOk());  // the old plugging is gone
        sim::SimBoard replugged(boards.path(0), boards.read(0));
        check(replugged, {0xCA, 0xFE}, {0x50, 0x00}, Bytes(3, 0));
    }

    void i2cRefusals()
    {
        std::unique_ptr<KoUSBDevice> device(plugOne("bus"));
        Bytes b(2, 0xEE);
        QVERIFY(!device->ReadI2C(0x50, b.data(), 2));
        QCOMPARE(QString::fromLatin1(device->GetLastError()),
                 QStringLiteral("no device answered: I2C address 0x50 (the board has 0x48 temperature sensor, "
                                "0x51 EEPROM)"));
        QCOMPARE(b, Bytes(2, 0xEE));  // a failed read leaves the buffer alone
        QVERIFY(!device->WriteI2C(0xD1, b.data(), 2));
        QCOMPARE(device->GetLastErrorCode(), int(KOUSB_ERROR_BAD_ARGUMENT));
        QVERIFY(!writeI2c(*device, 0x48, {7}));  // the sensor has registers 0 to 3
        QCOMPARE(device->GetLastErrorCode(), int(KOUSB_ERROR_NO_ACKNOWLEDGE));
        QVERIFY(device->ReadI2C(0x51, b.data(), 0));  // probes answer
        QVERIFY(device->WriteI2C(0x48, b.data(), 0));
        QCOMPARE(device->GetLastErrorCode(), int(KOUSB_SUCCESS));
        QVERIFY(!boards.read(0).lastWrites.count("I2C") || boards.read(0).lastWrites.at("I2C").length == 0);
    }

    void eepromWriteThroughI2cChangesTheIdentity()
    {
        std::unique_ptr<KoUSBDevice> device(plugOne("before"));
        Bytes write{0x3F, 0x0C};
        for (char c : std::string("after"))
            write.push_back(std::uint8_t(c));
        write.push_back(0);
        QVERIFY(device->WriteI2C(0x51, write.data(), static_cast<unsigned short>(write.size())));
        QCOMPARE(QString::fromLatin1(device->GetName()), QStringLiteral("after"));
        QCOMPARE(eeprom::readIdentity(boards.read(0).eeprom).name, std::string("after"));
    }

    void fpgaNeedsAConfiguration()
    {
        sim::BoardState state = sim::blankBoard();
        state.instance = sim::newInstanceId();
        state.slot = 2;
        state.controllerFirmware = "ours";
        boards.writeRaw(sim::boardFileName(2), sim::formatBoardFile(state));
        SimBoards::sync();
        KoUSBDevice device(GetUSBDeviceIndexed(2));
        Bytes b(2, 0xEE);
        QVERIFY(!device.WriteXilinx(0, b.data(), 2));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_NOT_READY));
        QVERIFY(!device.ReadXilinx(0, b.data(), 2));
        QCOMPARE(b, Bytes(2, 0xEE));
        // The status report says so too (flags: firmware running, no FPGA).
        Bytes report(16, 0xEE);
        QVERIFY(device.ReadInterrupt(report.data()));
        QCOMPARE(int(report[1]), 0x02);
    }

    // The status report's layout (docs/board-protocol.md) as the board's
    // parts change: the UART's queue holds 255 bytes and overruns after.
    void interruptReportTracksTheBoard()
    {
        std::unique_ptr<KoUSBDevice> device(plugOne("irq"));
        Bytes r(16);
        QVERIFY(device->ReadInterrupt(r.data()));
        QCOMPARE(r, (Bytes{1, 3, 0, 0, 25, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

        Bytes flood(256, 0x42);
        QVERIFY(device->WriteSerial(flood.data(), static_cast<unsigned short>(flood.size())));
        Bytes host{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        QVERIFY(device->WriteInterrupt(host.data()));
        QVERIFY(device->WriteInterrupt(host.data()));
        QVERIFY(device->ReadInterrupt(r.data()));
        QCOMPARE(r, (Bytes{1, 7, 0xFF, 0x00, 25, 2, 2, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
        QVERIFY(device->ReadInterrupt(r.data()));
        QCOMPARE(int(r[1]), 3);  // the overrun was reported once
        QCOMPARE(int(r[6]), 3);

        Bytes some(10);
        QVERIFY(device->ReadSerial(some.data(), 10));
        QCOMPARE(some, Bytes(10, 0x42));
        QVERIFY(device->ReadInterrupt(r.data()));
        QCOMPARE(int(r[2]) | int(r[3]) << 8, 255 - 10);
    }

    void callsOnAnUnpluggedBoardFail()
    {
        std::unique_ptr<KoUSBDevice> device(plugOne("gone"));
        boards.unplug(0);  // the library has not rescanned yet
        Bytes b(16, 0xEE);
        QVERIFY(!device->ReadExternal(0, b.data(), 1));
        QCOMPARE(device->GetLastErrorCode(), int(KOUSB_ERROR_UNPLUGGED));
        QVERIFY(!device->WriteI2C(0x51, b.data(), 4));
        QVERIFY(!device->ReadSerial(b.data(), 2));
        QVERIFY(!device->WriteCommand(b.data(), 2));
        QVERIFY(!device->ReadInterrupt(b.data()));
        QVERIFY(!device->ReadSPI(0, b.data(), 1));
        QCOMPARE(b, Bytes(16, 0xEE));
    }
};

QTEST_APPLESS_MAIN(TestSimBoardIo)
#include "tst_simboard_io.moc"
