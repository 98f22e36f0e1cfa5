// SPDX-License-Identifier: MIT
// The "IO Tests" page against simulated boards: in each IO mode a write and
// a read through the page's widgets give back what the board's part holds.
#include "KoUSBLib.h"
#include "eepromlayout.h"
#include "iopage.h"
#include "mainform.h"
#include "sim/simdirectory.h"
#include "simboards.h"

#include <QtTest>

#include <memory>

class TestIoTestsSim : public QObject {
    Q_OBJECT

    SimBoards boards;
    std::unique_ptr<MainForm> form;
    std::unique_ptr<IoPage> page;

    // Opens the window on the first board; call after plugging.
    void openWindow()
    {
        form = std::make_unique<MainForm>();
        page = std::make_unique<IoPage>(*form);
        QVERIFY(page->open());
        QVERIFY(form->statusbar->currentMessage().startsWith("Current device: "));
    }

    void setMode(const QString& mode) { QVERIFY2(page->setMode(mode), qPrintable(mode)); }

    QString readLine() const { return form->readDataLine->text(); }

    // A board whose FPGA holds no configuration, written as its file.
    void plugUnconfigured(int slot)
    {
        kousb::sim::BoardState state = kousb::sim::blankBoard();
        state.instance = kousb::sim::newInstanceId();
        state.slot = slot;
        state.controllerFirmware = "test firmware";
        kousb::eeprom::writeId(state.eeprom, 77);
        kousb::eeprom::writeName(state.eeprom, "Blank FPGA");
        boards.writeRaw(kousb::sim::boardFileName(slot), kousb::sim::formatBoardFile(state));
    }

    kousb::sim::BoardState::LastWrite lastWrite(const std::string& mode)
    {
        const auto state = boards.read(0);
        const auto it = state.lastWrites.find(mode);
        if (it == state.lastWrites.end())
            return {};
        return it->second;
    }

private slots:
    void init() { boards.plug(0, 1, "IO board"); }

    void cleanup()
    {
        page.reset();
        form.reset();
        boards.unplugAll();
        SimBoards::sync();
    }

    void external()
    {
        openWindow();
        setMode("External");
        page->write("100", "1 2 3");
        QCOMPARE(form->sizeLine->text(), QStringLiteral("3"));
        page->clickRead();  // the size the write left: as many as were written
        QCOMPARE(readLine(), QStringLiteral("1 2 3 "));
        QCOMPARE(page->read("65636", "2"), QStringLiteral("1 2 "));  // 65636 is cut to 100
        QCOMPARE(page->read("99", "5"), QStringLiteral("0 1 2 3 0 "));

        page->write("65534", "7 8");
        QCOMPARE(page->read("65534", "2"), QStringLiteral("7 8 "));
        QCOMPARE(lastWrite("External").head, (std::vector<std::uint8_t>{7, 8}));
        QCOMPARE(form->statusbar->currentMessage(), QStringLiteral("Current device: IO board with ID 1"));
        // 16-bit addresses end at the top: a write past it is refused whole.
        page->write("65535", "7 8");
        QVERIFY2(page->status().startsWith("External write failed: address out of range"), qPrintable(page->status()));
    }

    void fpgaRegisters()
    {
        openWindow();
        setMode("FPGA");
        page->setHex(true);
        page->write("4660", "de ad be ef");
        QCOMPARE(page->read("4660", "4"), QStringLiteral("de ad be ef "));
        QCOMPARE(page->read("4661", "2"), QStringLiteral("ad be "));
        // A part of its own: the external bus does not see it.
        setMode("External");
        QCOMPARE(page->read("4660", "2"), QStringLiteral("0 0 "));
        QCOMPARE(lastWrite("FPGA").head, (std::vector<std::uint8_t>{0xde, 0xad, 0xbe, 0xef}));
    }

    void fpgaUnconfiguredFails()
    {
        boards.unplugAll();
        plugUnconfigured(0);
        openWindow();
        setMode("FPGA");
        page->write("0", "1 2");
        QCOMPARE(page->status(),
                 QStringLiteral("FPGA write failed: not ready: the FPGA is not configured (load a .bit file first)"));
        QCOMPARE(form->sizeLine->text(), QStringLiteral("2"));
        form->readDataLine->setText("old");
        page->clickRead();
        QVERIFY(readLine().isEmpty());
        QCOMPARE(page->status(),
                 QStringLiteral("FPGA read failed: not ready: the FPGA is not configured (load a .bit file first)"));
        QVERIFY(boards.read(0).lastWrites.empty());
        // The other paths work all the same.
        setMode("Controller");
        page->write("0", "5");
        QCOMPARE(page->read("0", "1"), QStringLiteral("5 "));
    }

    void controllerMemory()
    {
        openWindow();
        setMode("Controller");
        page->write("8192", "10 20 30");
        QCOMPARE(page->read("8192", "3"), QStringLiteral("10 20 30 "));
        QCOMPARE(page->read("73728", "3"), QStringLiteral("10 20 30 "));  // 73728 = 0x12000, cut to 0x2000
        setMode("FPGA");
        QCOMPARE(page->read("8192", "1"), QStringLiteral("0 "));
        QCOMPARE(lastWrite("Controller").length, std::size_t(3));
    }

    void i2cEepromWithOffset()
    {
        openWindow();
        setMode("I2C");
        // Device 0x51 (81): offset 0x0010, then the data.
        page->write("81", "0 16 1 2 3");
        QCOMPARE(form->sizeLine->text(), QStringLiteral("5"));
        QCOMPARE(page->status(), QStringLiteral("Current device: IO board with ID 1"));
        // Point the chip at the offset again, then read on from there.
        page->write("81", "0 16");
        QCOMPARE(page->read("81", "3"), QStringLiteral("1 2 3 "));
        QCOMPARE(page->read("81", "2"), QStringLiteral("255 255 "));  // reads continue: erased bytes
        // The bytes are in the board file's EEPROM.
        const auto state = boards.read(0);
        QCOMPARE(int(state.eeprom[0x10]), 1);
        QCOMPARE(int(state.eeprom[0x12]), 3);
        QCOMPARE(int(state.eeprom[0x13]), 0xFF);
        // The address is cut to 8 bits: 337 is 0x51 too.
        page->write("337", "0 17");
        QCOMPARE(page->read("81", "1"), QStringLiteral("2 "));
    }

    void i2cEepromHoldsTheIdentity()
    {
        openWindow();
        setMode("I2C");
        page->setHex(true);
        page->write("81", "3f 8 7 0 0 0");  // ID field at 0x3F08: 7
        form->handleDeviceChange();         // nothing changed in the set of boards...
        KoUSBDevice board(GetUSBDeviceIndexed(0));
        QCOMPARE(board.GetId(), 7);                                                   // ...but the board now says ID 7
        page->write("81", "3f c");                                                    // the name at 0x3F0C
        QCOMPARE(page->read("81", "8"), QStringLiteral("49 4f 20 62 6f 61 72 64 "));  // "IO board"
    }

    void i2cTemperatureSensor()
    {
        openWindow();
        setMode("I2C");
        page->setHex(true);
        page->write("72", "0");                                     // 0x48, pointer: temperature
        QCOMPARE(page->read("72", "2"), QStringLiteral("19 80 "));  // 25.5 °C
        page->write("72", "3 50 0");                                // T_OS: 80 °C
        page->write("72", "3");
        QCOMPARE(page->read("72", "2"), QStringLiteral("50 0 "));
        page->write("72", "1 2");  // configuration
        page->write("72", "1");
        QCOMPARE(page->read("72", "1"), QStringLiteral("2 "));
    }

    void i2cAddressWithoutDeviceFails()
    {
        openWindow();
        setMode("I2C");
        page->write("80", "1 2");
        const QString why = QStringLiteral(
            "no device answered: I2C address 0x50 (the board has 0x48 temperature "
            "sensor, 0x51 EEPROM)");
        QCOMPARE(page->status(), QStringLiteral("I2C write failed: ") + why);
        form->readDataLine->setText("old");
        QCOMPARE(page->read("80", "2"), QString());
        QCOMPARE(page->status(), QStringLiteral("I2C read failed: ") + why);
        QVERIFY(!boards.read(0).lastWrites.count("I2C"));
    }

    void spiFlash()
    {
        openWindow();
        setMode("SPI");
        page->write("2097150", "1 2");  // the last two bytes of the 2 MiB flash
        QCOMPARE(page->read("2097150", "2"), QStringLiteral("1 2 "));
        QCOMPARE(page->read("0", "2"), QStringLiteral("255 255 "));  // erased
        page->write("70000", "9");                                   // SPI takes the int address unchanged
        QCOMPARE(page->read("70000", "1"), QStringLiteral("9 "));
        setMode("External");
        QCOMPARE(page->read("4464", "1"), QStringLiteral("0 "));  // not the 16-bit cut
        setMode("SPI");
        QCOMPARE(lastWrite("SPI").head, std::vector<std::uint8_t>{9});
    }

    void spiOutOfRangeFails_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("size");
        QTest::newRow("runs past the end") << "2097151"
                                           << "2";
        QTest::newRow("at the end") << "2097152"
                                    << "1";
        QTest::newRow("negative") << "-1"
                                  << "1";
    }

    void spiOutOfRangeFails()
    {
        QFETCH(QString, address);
        QFETCH(QString, size);
        openWindow();
        setMode("SPI");
        page->write(address, size == "2" ? "1 2" : "1");
        QVERIFY2(page->status().startsWith("SPI write failed: address out of range: the SPI flash holds bytes "
                                           "0x000000 to 0x1FFFFF"),
                 qPrintable(page->status()));
        form->readDataLine->setText("old");
        QCOMPARE(page->read(address, size), QString());
        QVERIFY(page->status().startsWith("SPI read failed: address out of range"));
        // Nothing was written: the last byte is still erased.
        QCOMPARE(page->read("2097151", "1"), QStringLiteral("255 "));
    }

    void uartLoopbackWithPartialReads()
    {
        openWindow();
        setMode("UART");
        page->write("0", "1 2 3 4 5");
        QCOMPARE(page->read("0", "2"), QStringLiteral("1 2 "));
        // Fewer queued than asked: the rest of the (zeroed) buffer shows as 0.
        QCOMPARE(page->read("0", "5"), QStringLiteral("3 4 5 0 0 "));
        QCOMPARE(page->read("0", "3"), QStringLiteral("0 0 0 "));
        QCOMPARE(page->status(), QStringLiteral("Current device: IO board with ID 1"));
        page->write("0", "6");
        page->write("0", "7 8");
        QCOMPARE(page->read("0", "16"), QStringLiteral("6 7 8 0 0 0 0 0 0 0 0 0 0 0 0 0 "));
        QCOMPARE(lastWrite("UART").head, (std::vector<std::uint8_t>{7, 8}));
    }

    void commandIsRecordedInTheBoardFile()
    {
        openWindow();
        setMode("Command");
        page->write("0", "9 8 7");
        QCOMPARE(page->status(), QStringLiteral("Current device: IO board with ID 1"));
        const auto last = lastWrite("Command");
        QCOMPARE(last.length, std::size_t(3));
        QCOMPARE(last.head, (std::vector<std::uint8_t>{9, 8, 7}));
        form->readDataLine->setText("old");
        page->clickRead();
        QVERIFY(readLine().isEmpty());
        QCOMPARE(page->status(), QStringLiteral("The \"Command\" mode cannot read."));
    }

    void interruptStatusReport()
    {
        openWindow();
        setMode("Interrupt");
        page->setHex(true);
        page->write("0", "aa bb cc");
        QCOMPARE(form->sizeLine->text(), QStringLiteral("3"));
        const auto last = lastWrite("Interrupt");
        QCOMPARE(last.length, std::size_t(16));
        QCOMPARE(last.head, (std::vector<std::uint8_t>{0xaa, 0xbb, 0xcc, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
        setMode("UART");
        page->write("0", "1 2");
        setMode("Interrupt");
        // type 01; flags: FPGA configured, firmware running; 2 bytes in the
        // UART queue; 25 °C; 1 host report; report number 1; the echo.
        QCOMPARE(page->read("0", "16"), QStringLiteral("1 3 2 0 19 1 1 0 aa bb cc 0 0 0 0 0 "));
        QCOMPARE(page->read("0", "8"), QStringLiteral("1 3 2 0 19 1 2 0 "));  // report number 2
        QCOMPARE(page->read("0", "0"), QString());
    }

    void unpluggedBoardFails()
    {
        openWindow();
        setMode("External");
        boards.unplug(0);  // the window has not heard of it yet
        page->write("0", "1");
        QCOMPARE(page->status(), QStringLiteral("External write failed: board unplugged"));
        form->readDataLine->setText("old");
        QCOMPARE(page->read("0", "1"), QString());
        QCOMPARE(page->status(), QStringLiteral("External read failed: board unplugged"));
    }
};

QTEST_MAIN(TestIoTestsSim)
#include "tst_iotests_sim.moc"
