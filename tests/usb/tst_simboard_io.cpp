// SPDX-License-Identifier: MIT
// The simulated board's access paths: each part on its own, then the board
// through the library (what arrives, what is refused, what the board file
// keeps, what survives a restart, and what `kousb-sim show` prints).
#include "KoUSBLib.h"
#include "eepromlayout.h"
#include "sim/i2ceeprom.h"
#include "sim/memoryspace.h"
#include "sim/boardstore.h"
#include "sim/simboard.h"
#include "sim/simdirectory.h"
#include "sim/spiflash.h"
#include "sim/statusreport.h"
#include "sim/tempsensor.h"
#include "sim/uartloopback.h"
#include "simboards.h"

#include <QProcess>
#include <QtTest>

#include <memory>

#include <vector>

using namespace kousb;
using Bytes = std::vector<std::uint8_t>;

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

private slots:
    void initTestCase() { QVERIFY(InitUSB()); }
    void cleanup()
    {
        boards.unplugAll();
        SimBoards::sync();
    }

    // --- the parts ----------------------------------------------------------

    void memorySpaceWraps()
    {
        sim::Space16 space{};
        const std::uint8_t data[] = {1, 2, 3};
        sim::writeSpace(space, 0xFFFE, data, 3);
        QCOMPARE(int(space[0xFFFE]), 1);
        QCOMPARE(int(space[0xFFFF]), 2);
        QCOMPARE(int(space[0]), 3);
        std::uint8_t back[3] = {};
        sim::readSpace(space, 0xFFFE, back, 3);
        QCOMPARE(Bytes(back, back + 3), (Bytes{1, 2, 3}));
    }

    void eepromChipPagesAndCounter()
    {
        std::vector<std::uint8_t> image(eeprom::kSize, 0xFF);
        sim::I2cEeprom chip;
        // Offset 0x003E, four bytes: the page (0x00-0x3F) wraps after two.
        const Bytes write{0x00, 0x3E, 1, 2, 3, 4};
        chip.write(image.data(), image.size(), write.data(), write.size());
        QCOMPARE(int(image[0x3E]), 1);
        QCOMPARE(int(image[0x3F]), 2);
        QCOMPARE(int(image[0x00]), 3);
        QCOMPARE(int(image[0x01]), 4);
        QCOMPARE(int(image[0x40]), 0xFF);  // the next page is untouched
        QCOMPARE(chip.addressCounter(), std::size_t(0x02));

        // Offset only: sets the counter; reads run on across pages and wrap
        // from the last byte to the first.
        const Bytes point{0x3F, 0xFF};
        image[0x3FFF] = 0x77;
        chip.write(image.data(), image.size(), point.data(), point.size());
        std::uint8_t back[3] = {};
        chip.read(image.data(), image.size(), back, 3);
        QCOMPARE(Bytes(back, back + 3), (Bytes{0x77, 3, 4}));
        QCOMPARE(chip.addressCounter(), std::size_t(2));

        // The top two bits of the offset do not exist on a 16 KiB chip.
        const Bytes high{0xC0, 0x3E};
        chip.write(image.data(), image.size(), high.data(), high.size());
        QCOMPARE(chip.addressCounter(), std::size_t(0x3E));

        // One byte or none: nothing changes.
        const Bytes one{0x00};
        chip.write(image.data(), image.size(), one.data(), one.size());
        chip.write(image.data(), image.size(), nullptr, 0);
        QCOMPARE(chip.addressCounter(), std::size_t(0x3E));
        QVERIFY(!sim::I2cEeprom::writesData(2));
        QVERIFY(sim::I2cEeprom::writesData(3));
    }

    void temperatureSensorRegisters()
    {
        sim::TempSensor sensor;
        std::uint8_t b[4] = {};
        sensor.read(b, 4);
        QCOMPARE(Bytes(b, b + 4), (Bytes{0x19, 0x80, 0x19, 0x80}));  // 25.5 °C, repeated
        QCOMPARE(sim::TempSensor::wholeDegrees(), 25);

        const Bytes hyst{2, 0x4B, 0xFF};  // only the top 9 bits are kept
        QVERIFY(sensor.write(hyst.data(), hyst.size()).isOk());
        sensor.read(b, 2);
        QCOMPARE(Bytes(b, b + 2), (Bytes{0x4B, 0x80}));

        const Bytes tos{3};
        QVERIFY(sensor.write(tos.data(), tos.size()).isOk());
        sensor.read(b, 2);
        QCOMPARE(Bytes(b, b + 2), (Bytes{0x50, 0x00}));  // power-up 80 °C

        const Bytes config{1, 0x1F, 0x55};  // one byte; the extra is ignored
        QVERIFY(sensor.write(config.data(), config.size()).isOk());
        sensor.read(b, 3);
        QCOMPARE(Bytes(b, b + 3), (Bytes{0x1F, 0x1F, 0x1F}));

        const Bytes temp{0, 0x00, 0x00};  // read-only: ignored
        QVERIFY(sensor.write(temp.data(), temp.size()).isOk());
        sensor.read(b, 2);
        QCOMPARE(Bytes(b, b + 2), (Bytes{0x19, 0x80}));

        const Bytes bad{4};
        const Status s = sensor.write(bad.data(), bad.size());
        QCOMPARE(s.code(), ErrorCode::NoAcknowledge);
        sensor.read(b, 1);
        QCOMPARE(int(b[0]), 0x19);                 // the pointer stayed
        QVERIFY(sensor.write(nullptr, 0).isOk());  // probe
    }

    void spiFlashRange()
    {
        auto owned = std::make_unique<sim::SpiFlash>();
        sim::SpiFlash& flash = *owned;
        std::uint8_t b[2] = {0, 0};
        QVERIFY(flash.read(0, b, 2).isOk());
        QCOMPARE(Bytes(b, b + 2), (Bytes{0xFF, 0xFF}));
        const Bytes data{5, 6};
        QVERIFY(flash.write(0x1FFFFE, data.data(), 2).isOk());
        QVERIFY(flash.read(0x1FFFFE, b, 2).isOk());
        QCOMPARE(Bytes(b, b + 2), data);
        QVERIFY(flash.write(0x1FFFFE, data.data(), 0).isOk());
        QCOMPARE(flash.write(0x1FFFFF, data.data(), 2).code(), ErrorCode::OutOfRange);
        QCOMPARE(flash.write(0x200000, data.data(), 0).code(), ErrorCode::OutOfRange);
        QCOMPARE(flash.read(-1, b, 1).code(), ErrorCode::OutOfRange);
        QCOMPARE(flash.read(INT32_MIN, b, 1).code(), ErrorCode::OutOfRange);
        QCOMPARE(flash.read(INT32_MAX, b, 1).code(), ErrorCode::OutOfRange);
    }

    void uartQueueBoundAndOverrun()
    {
        sim::UartLoopback uart;
        Bytes data(sim::UartLoopback::kCapacity + 10);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = std::uint8_t(i);
        uart.write(data.data(), data.size());
        QCOMPARE(uart.queued(), sim::UartLoopback::kCapacity);
        QVERIFY(uart.overrun());
        uart.clearOverrun();
        Bytes back(sim::UartLoopback::kCapacity + 5, 0xEE);
        QCOMPARE(uart.read(back.data(), back.size()), sim::UartLoopback::kCapacity);
        for (std::size_t i = 0; i < sim::UartLoopback::kCapacity; ++i)
            QCOMPARE(int(back[i]), int(std::uint8_t(i)));         // the first ones arrived; the last were lost
        QCOMPARE(int(back[sim::UartLoopback::kCapacity]), 0xEE);  // the rest is left as it was
        QCOMPARE(uart.read(back.data(), 1), std::size_t(0));
        QVERIFY(!uart.overrun());
    }

    void statusReportLayout()
    {
        sim::StatusInputs in;
        in.fpgaConfigured = true;
        in.firmwareRunning = false;
        in.uartOverrun = true;
        in.uartQueued = 0x0102;
        in.temperature = -3;
        in.hostReports = 257;
        in.sequence = 0xABCD;
        for (std::size_t i = 0; i < in.lastHostReport.size(); ++i)
            in.lastHostReport[i] = std::uint8_t(0xA0 + i);
        const sim::Report r = sim::makeStatusReport(in);
        QCOMPARE(Bytes(r.begin(), r.end()), (Bytes{0x01, 0x05, 0x02, 0x01, 0xFD, 0x01, 0xCD, 0xAB, 0xA0, 0xA1, 0xA2,
                                                   0xA3, 0xA4, 0xA5, 0xA6, 0xA7}));
        in.uartQueued = 100000;  // more than 16 bits: saturates
        in.temperature = 500;
        const sim::Report s = sim::makeStatusReport(in);
        QCOMPARE(int(s[2]), 0xFF);
        QCOMPARE(int(s[3]), 0xFF);
        QCOMPARE(int(s[4]), 127);
    }

    // --- the board through the library ---------------------------------------

    void eachWriteIsRecordedInTheBoardFile()
    {
        boards.plug(0, 1, "rec");
        SimBoards::sync();
        KoUSBDevice device(GetUSBDeviceIndexed(0));
        Bytes data{9, 8, 7};
        QVERIFY(device.WriteExternal(1, data.data(), 3));
        QVERIFY(device.WriteXilinx(2, data.data(), 2));
        QVERIFY(device.Write8051(3, data.data(), 1));
        QVERIFY(device.WriteI2C(0x48, data.data(), 0));  // a probe: recorded as 0 bytes
        QVERIFY(device.WriteSPI(4, data.data(), 3));
        QVERIFY(device.WriteSerial(data.data(), 3));
        QVERIFY(device.WriteCommand(data.data(), 3));
        Bytes report(16, 0x5A);
        QVERIFY(device.WriteInterrupt(report.data()));
        Bytes big(1000, 0x11);
        QVERIFY(device.WriteExternal(0, big.data(), 1000));  // long: the first 16 bytes are kept

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

    void longTransfersWrap()
    {
        boards.plug(0, 1, "long");
        SimBoards::sync();
        KoUSBDevice device(GetUSBDeviceIndexed(0));
        Bytes data(70000);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = std::uint8_t(i * 7);
        QVERIFY(device.WriteExternal(0, data.data(), int(data.size())));
        Bytes back(4);
        QVERIFY(device.ReadExternal(0, back.data(), 4));
        // 65536..65539 overwrote 0..3 on the way round.
        QCOMPARE(back, (Bytes{std::uint8_t(65536 * 7), std::uint8_t(65537 * 7), std::uint8_t(65538 * 7),
                              std::uint8_t(65539 * 7)}));
    }

    // A second user of the board (another process: here a second SimBoard on
    // its files) sees all of it; unplug and replug is a power cycle, which
    // keeps the EEPROM only.
    void sharedWhilePluggedAndPowerCycled()
    {
        boards.plug(0, 1, "durable");
        SimBoards::sync();
        Bytes data{7, 8, 9};
        {
            KoUSBDevice device(GetUSBDeviceIndexed(0));
            QVERIFY(writeI2c(device, 0x51, {0x01, 0x00, 0xCA, 0xFE}));
            QVERIFY(writeI2c(device, 0x51, {0x01, 0x00}));  // the counter, left for the other user
            QVERIFY(writeI2c(device, 0x48, {3, 0x10, 0x00}));
            QCOMPARE(readI2c(device, 0x48, 2), (Bytes{0x10, 0x00}));
            QVERIFY(device.WriteExternal(16, data.data(), 3));
        }
        auto check = [&](sim::SimBoard& board, const Bytes& eeprom, const Bytes& tos, const Bytes& external) {
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
        const Bytes point{0x01, 0x00};
        QVERIFY(replugged.writeI2C(0x51, point.data(), 2).isOk());
        check(replugged, {0xCA, 0xFE}, {0x50, 0x00}, Bytes(3, 0));
    }

    void i2cRefusals()
    {
        boards.plug(0, 1, "bus");
        SimBoards::sync();
        KoUSBDevice device(GetUSBDeviceIndexed(0));
        Bytes b(2, 0xEE);
        QVERIFY(!device.ReadI2C(0x50, b.data(), 2));
        QCOMPARE(QString::fromLatin1(device.GetLastError()),
                 QStringLiteral("no device answered: I2C address 0x50 (the board has 0x48 temperature sensor, "
                                "0x51 EEPROM)"));
        QCOMPARE(b, Bytes(2, 0xEE));  // a failed read leaves the buffer alone
        QVERIFY(!device.WriteI2C(0xD1, b.data(), 2));
        QCOMPARE(QString::fromLatin1(device.GetLastError()),
                 QStringLiteral("invalid argument: 0xD1 is not a 7-bit I2C address"));
        QVERIFY(!writeI2c(device, 0x48, {7}));
        QCOMPARE(QString::fromLatin1(device.GetLastError()),
                 QStringLiteral("no device answered: the temperature sensor has registers 0 to 3, not 7"));
        QVERIFY(device.ReadI2C(0x51, b.data(), 0));  // probes answer
        QVERIFY(device.WriteI2C(0x48, b.data(), 0));
        QVERIFY(QString::fromLatin1(device.GetLastError()).isEmpty());
        QVERIFY(!boards.read(0).lastWrites.count("I2C") || boards.read(0).lastWrites.at("I2C").length == 0);
    }

    void eepromWriteThroughI2cChangesTheIdentity()
    {
        boards.plug(0, 1, "before");
        SimBoards::sync();
        KoUSBDevice device(GetUSBDeviceIndexed(0));
        Bytes write{0x3F, 0x0C};
        for (char c : std::string("after"))
            write.push_back(std::uint8_t(c));
        write.push_back(0);
        QVERIFY(device.WriteI2C(0x51, write.data(), static_cast<unsigned short>(write.size())));
        QCOMPARE(QString::fromLatin1(device.GetName()), QStringLiteral("after"));
        QCOMPARE(eeprom::readIdentity(boards.read(0).eeprom).name, std::string("after"));
    }

    void fpgaNeedsAConfiguration()
    {
        sim::BoardState state = sim::blankBoard();
        state.instance = sim::newInstanceId();
        state.slot = 2;
        boards.writeRaw(sim::boardFileName(2), sim::formatBoardFile(state));
        SimBoards::sync();
        KoUSBDevice device(GetUSBDeviceIndexed(2));
        Bytes b(2, 0xEE);
        QVERIFY(!device.WriteXilinx(0, b.data(), 2));
        QCOMPARE(QString::fromLatin1(device.GetLastError()),
                 QStringLiteral("not ready: the FPGA is not configured (load a .bit file first)"));
        QVERIFY(!device.ReadXilinx(0, b.data(), 2));
        QCOMPARE(b, Bytes(2, 0xEE));
        // The status report says so too (flags: no FPGA, no firmware).
        Bytes report(16, 0xEE);
        QVERIFY(device.ReadInterrupt(report.data()));
        QCOMPARE(int(report[1]), 0);
    }

    void interruptReportTracksTheBoard()
    {
        boards.plug(0, 1, "irq");
        SimBoards::sync();
        KoUSBDevice device(GetUSBDeviceIndexed(0));
        Bytes r(16);
        QVERIFY(device.ReadInterrupt(r.data()));
        QCOMPARE(r, (Bytes{1, 3, 0, 0, 25, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

        Bytes flood(sim::UartLoopback::kCapacity + 1, 0x42);
        QVERIFY(device.WriteSerial(flood.data(), static_cast<unsigned short>(flood.size())));
        Bytes host{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        QVERIFY(device.WriteInterrupt(host.data()));
        QVERIFY(device.WriteInterrupt(host.data()));
        QVERIFY(device.ReadInterrupt(r.data()));
        QCOMPARE(r, (Bytes{1, 7, 0x00, 0x01, 25, 2, 2, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
        QVERIFY(device.ReadInterrupt(r.data()));
        QCOMPARE(int(r[1]), 3);  // the overrun was reported once
        QCOMPARE(int(r[6]), 3);

        Bytes some(10);
        QVERIFY(device.ReadSerial(some.data(), 10));
        QVERIFY(device.ReadInterrupt(r.data()));
        QCOMPARE(int(r[2]) | int(r[3]) << 8, int(sim::UartLoopback::kCapacity) - 10);
    }

    void callsOnAnUnpluggedBoardFail()
    {
        boards.plug(0, 1, "gone");
        SimBoards::sync();
        KoUSBDevice device(GetUSBDeviceIndexed(0));
        boards.unplug(0);  // the library has not rescanned yet
        Bytes b(16, 0xEE);
        QVERIFY(!device.ReadExternal(0, b.data(), 1));
        QCOMPARE(QString::fromLatin1(device.GetLastError()), QStringLiteral("board unplugged"));
        QVERIFY(!device.WriteI2C(0x51, b.data(), 4));
        QVERIFY(!device.ReadSerial(b.data(), 2));
        QVERIFY(!device.WriteCommand(b.data(), 2));
        QVERIFY(!device.ReadInterrupt(b.data()));
        QVERIFY(!device.ReadSPI(0, b.data(), 1));
        QCOMPARE(b, Bytes(16, 0xEE));
    }
};

QTEST_APPLESS_MAIN(TestSimBoardIo)
#include "tst_simboard_io.moc"
