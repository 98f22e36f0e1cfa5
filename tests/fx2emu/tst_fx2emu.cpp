// SPDX-License-Identifier: MIT
// The real firmware image on the emulated controller, through the real
// libusb: a board in its boot state is loaded by `kousb load-controller`,
// comes back as our firmware, and every request group runs through the
// library (what the window calls), checked against the board's chips and
// through `kousb` reading what the library wrote and writing what it reads
// back, at high and at full speed. Facts come from
// the register sheet, the USB 2.0 standard and the chips' datasheets;
// the emulator reports what the silicon would do otherwise (faults).
#include "KoUSBLib.h"
#include "firmwarefiles.h"
#include "formats/intelhex.h"
#include "fx2emufixture.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

using Speed = Fx2Emulator::Speed;

QString text(const char* s) { return QString::fromLatin1(s); }
QString hexText(const QByteArray& bytes)
{
    QString out;
    for (unsigned char b : bytes)
        out += QString::number(b, 16) + " ";
    return out;
}
unsigned char* bytes(QByteArray& b) { return reinterpret_cast<unsigned char*>(b.data()); }

}  // namespace

class TestFx2Emu : public QObject {
    Q_OBJECT

    std::unique_ptr<EmulatedBus> m_bus;
    std::shared_ptr<Fx2Emulator> m_chip;
    std::unique_ptr<KoUSBDevice> m_device;
    Speed m_speed = Speed::High;
    int m_port = 1;
    QTemporaryDir m_files;

    ToolResult kousb(const QStringList& args)
    {
        return fx2emu::runOnBus(*m_bus, qEnvironmentVariable("KOUSB_TOOL"), args);
    }
    std::size_t packet() const { return m_speed == Speed::High ? 512 : 64; }  // bulk, USB 2.0 5.8.3
    template <class F>
    void chips(F f)
    {
        m_chip->withBoard(f);
    }

    // The board on the current port off the bus, as if its power went.
    void unplugBoard()
    {
        m_device.reset();
        if (m_chip)
            m_bus->unplug(m_port);
        m_chip.reset();
    }

    // A board, in its boot state, on a port of `speed`; `kousb
    // load-controller` loads the image and the board comes back as ours.
    void plugAndLoad(Speed speed, EmulatedBoard::Kind kind = EmulatedBoard::Kind::Fpga,
                     const QString& image = "kousb-fx2.ihx")
    {
        unplugBoard();
        ++m_port;
        m_speed = speed;
        m_chip = std::make_shared<Fx2Emulator>(fx2emu::tools(), kind, speed);
        m_bus->plug(m_port, m_chip);
        QVERIFY(fx2emu::waitForBoard(m_port, "04b4:8613") >= 0);
        const ToolResult load = kousb({"load-controller", fx2emu::image(image)});
        QVERIFY2(load.exitCode == 0, qPrintable(load.out + load.err));
        const int slot = fx2emu::waitForBoard(m_port, "04b4:1004");
        QVERIFY2(slot >= 0, "the board did not come back as 04b4:1004");
        m_device = std::make_unique<KoUSBDevice>(GetUSBDeviceIndexed(slot));
    }

    // ---- the request groups ------------------------------------------------

    void version()
    {
        const QString info = text(m_device->GetEndpointInfo());
        const QString speed = m_speed == Speed::High ? "Speed: high (480 Mbit/s)" : "Speed: full (12 Mbit/s)";
        for (const QString& part : {speed, QString("0x86  in   bulk, max packet %1").arg(packet()),
                                    QString("0x02  out  bulk, max packet %1").arg(packet())})
            QVERIFY2(info.contains(part), qPrintable(info));
    }

    void identity()
    {
        QVERIFY2(m_device->WriteIDToEEPROM(4711) && m_device->WriteNameToEEPROM("Emulated bench")
                     && m_device->WriteDeviceClassToEEPROM(5),
                 m_device->GetLastError());
        const ToolResult info = kousb({"info"});
        for (const char* line : {"id: 4711", "name: Emulated bench", "class: 5"})
            QVERIFY2(info.out.contains(line), qPrintable(info.out + info.err));
    }

    void fpgaConfiguration()
    {
        const QByteArray bit = firmwarefiles::bitFile("3s500efg320", 64);
        const QString path = firmwarefiles::writeFile(m_files.filePath("design.bit"), bit);
        QVERIFY2(m_device->DownloadXilinx(QFile::encodeName(path).constData()), m_device->GetLastError());
        chips([&](EmulatedBoard& b) {
            QVERIFY(b.fpga->configured);
            // The bitstream is the file's last 64 bytes; the FPGA took them up to DONE.
            QVERIFY(bit.right(64).startsWith(
                QByteArray(reinterpret_cast<const char*>(b.fpga->bitstream.data()), int(b.fpga->bitstream.size()))));
        });
    }

    // The chip memory behind a kousb mode; null where the test has no view of it.
    static const std::vector<std::uint8_t>* chipMemory(const EmulatedBoard& b, const QString& mode)
    {
        return mode == "FPGA"       ? &b.fpga->registers
               : mode == "External" ? &b.fpga->external
               : mode == "SPI"      ? &b.flash->memory
                                    : nullptr;
    }

    // Sixteen bytes (the most one call moves) written through the library and read through kousb and
    // the chip, two written through kousb and read through the library.
    template <class Address, class Length>
    void roundTrip(const QString& mode, int address, bool (KoUSBDevice::*write)(Address, unsigned char*, Length),
                   bool (KoUSBDevice::*read)(Address, unsigned char*, Length))
    {
        QByteArray out("\x11\x22\x33\x44\x55\x66\x77\x88\x99\xaa\xbb\xcc\xdd\xee\xf0\x0f", 16), in(2, 0);
        QVERIFY2((m_device.get()->*write)(Address(address), bytes(out), 16), m_device->GetLastError());
        const ToolResult read1 = kousb({"read", mode, "--addr", QString::number(address), "--size", "16", "--hex"});
        QCOMPARE(read1.out.trimmed(), hexText(out).trimmed());
        QVERIFY(kousb({"write", mode, "--addr", QString::number(address + 16), "--hex", "a5", "5a"}).exitCode == 0);
        QVERIFY2((m_device.get()->*read)(Address(address + 16), bytes(in), 2), m_device->GetLastError());
        QCOMPARE(in.left(2), QByteArray("\xa5\x5a", 2));
        chips([&](EmulatedBoard& b) {
            if (const std::vector<std::uint8_t>* memory = chipMemory(b, mode))
                QCOMPARE(int((*memory)[std::size_t(address + 1)]), 0x22);
        });
    }
    void fpgaRegisters() { roundTrip("FPGA", 0x40, &KoUSBDevice::WriteXilinx, &KoUSBDevice::ReadXilinx); }
    void externalBus() { roundTrip("External", 0x1230, &KoUSBDevice::WriteExternal, &KoUSBDevice::ReadExternal); }
    void spi() { roundTrip("SPI", 0x10203, &KoUSBDevice::WriteSPI, &KoUSBDevice::ReadSPI); }
    // The 0xA0 request reaches the data RAM while the firmware runs.
    void controllerMemory() { roundTrip("Controller", 0xE000, &KoUSBDevice::Write8051, &KoUSBDevice::Read8051); }

    void command()
    {
        QByteArray c("\x01\x02\x03", 3);
        QVERIFY2(m_device->WriteCommand(bytes(c), 3), m_device->GetLastError());
        QVERIFY(kousb({"write", "Command", "--hex", "c0", "de"}).exitCode == 0);
        chips([](EmulatedBoard& b) { QCOMPARE(b.fpga->commands, (std::vector<std::uint8_t>{1, 2, 3, 0xC0, 0xDE})); });
    }

    void i2c()
    {
        chips([](EmulatedBoard& b) { b.sensor->celsius = 31.5; });
        QByteArray in(4, 0);
        QVERIFY2(m_device->ReadI2C(0x48, bytes(in), 2), m_device->GetLastError());
        QCOMPARE(in.left(2), QByteArray("\x1f\x80", 2));  // LM75: whole degrees, then the half in bit 7
        QCOMPARE(kousb({"read", "I2C", "--addr", "72", "--size", "2", "--hex"}).out.trimmed(), QString("1f 80"));
        QVERIFY2(m_device->ReadI2C(0x48, bytes(in), 0), m_device->GetLastError());  // an address probe
        // A page write to the EEPROM, acknowledge polling through its write
        // cycle, then a read from the address set by a write of two bytes.
        QByteArray page(
            "\x01\x00"
            "abcd",
            6);
        QVERIFY2(m_device->WriteI2C(0x51, bytes(page), 6), m_device->GetLastError());
        int polls = 0;
        while (!m_device->ReadI2C(0x51, bytes(in), 0) && ++polls < 100) {
        }
        QVERIFY2(polls > 0 && polls < 100, qPrintable(QString("%1 address polls").arg(polls)));
        QVERIFY(m_device->WriteI2C(0x51, bytes(page), 2) && m_device->ReadI2C(0x51, bytes(in), 4));
        QCOMPARE(in, QByteArray("abcd"));
    }

    // The 56-pin package brings no UART pins out (register sheet 2.3).
    void uart()
    {
        QByteArray out("hello");
        QVERIFY2(!m_device->WriteSerial(bytes(out), 5), "the board claims a UART it has no pins for");
        QCOMPARE(m_device->GetLastErrorCode(), int(KOUSB_ERROR_NOT_SUPPORTED));
    }

    // The report says what is true when the host reads it.
    void interrupt()
    {
        QByteArray report(16, 0), out("\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11", 8);
        out.resize(16);
        QVERIFY2(m_device->ReadInterrupt(bytes(report)), m_device->GetLastError());
        const int sequence = quint8(report[6]) | quint8(report[7]) << 8;
        QVERIFY2(m_device->WriteInterrupt(bytes(out)), m_device->GetLastError());
        chips([](EmulatedBoard& b) { b.sensor->celsius = -12.0; });
        QVERIFY2(m_device->ReadInterrupt(bytes(report)), m_device->GetLastError());
        QCOMPARE(int(report[0]), 1);
        QCOMPARE(int(report[1]) & 0x03, 0x03);  // the FPGA is configured; firmware runs
        QCOMPARE(int(qint8(report[4])), -12);
        QCOMPARE(quint8(report[6]) | quint8(report[7]) << 8, sequence + 1);
        QCOMPARE(report.mid(8), out.left(8));
        QCOMPARE(kousb({"read", "Interrupt", "--size", "16"}).exitCode, 0);
    }

    void block()
    {
        QByteArray out("sixteen byte blk"), in(65536, 0);
        QVERIFY2(m_device->WriteBlock(bytes(out), 16) && m_device->ReadBlock(bytes(in), 16), m_device->GetLastError());
        QCOMPARE(in.left(16), out);
        // Whole packets: the byte counter restarts in each packet.
        QVERIFY2(m_device->ReadBlock(bytes(in), 65536), m_device->GetLastError());
        for (int i = 0; i < 65536; i += 97)
            QCOMPARE(int(quint8(in[i])), int(std::size_t(i) % packet() & 0xFF));
        QVERIFY2(m_device->WriteBlock(bytes(in), 65536), m_device->GetLastError());
        QVERIFY(kousb({"write", "Block", "--hex", "1", "2"}).exitCode == 0);
    }

    void eeprom()
    {
        QByteArray image(200, 0);
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i * 7);
        const QString path =
            firmwarefiles::writeFile(m_files.filePath("e.hex"), firmwarefiles::intelHex({{0x0200, image}}));
        QVERIFY2(m_device->LoadHexFileToEeprom(QFile::encodeName(path).constData()), m_device->GetLastError());
        QByteArray in(200, 0);
        QVERIFY2(m_device->ReadEEPROM(0x0200, bytes(in), 200), m_device->GetLastError());
        QCOMPARE(in, image);
        chips([&](EmulatedBoard& b) { QCOMPARE(int(b.eeprom->memory[0x0201]), 7); });
    }

    ModelReply request(std::initializer_list<int> setup, std::uint8_t* data)
    {
        std::uint8_t s[8];
        std::copy(setup.begin(), setup.end(), s);
        return m_chip->control(s, data);
    }

    using Group = void (TestFx2Emu::*)();
    // The request groups, in order: the FPGA configured before its buses.
    static const std::vector<std::pair<const char*, Group>>& groups()
    {
        static const std::vector<std::pair<const char*, Group>> all = {
            {"version", &TestFx2Emu::version},
            {"identity", &TestFx2Emu::identity},
            {"FPGA configuration", &TestFx2Emu::fpgaConfiguration},
            {"FPGA registers", &TestFx2Emu::fpgaRegisters},
            {"external bus", &TestFx2Emu::externalBus},
            {"command", &TestFx2Emu::command},
            {"I2C", &TestFx2Emu::i2c},
            {"SPI", &TestFx2Emu::spi},
            {"UART", &TestFx2Emu::uart},
            {"interrupt", &TestFx2Emu::interrupt},
            {"Block", &TestFx2Emu::block},
            {"EEPROM", &TestFx2Emu::eeprom},
            {"controller memory", &TestFx2Emu::controllerMemory}};
        return all;
    }

private slots:
    void initTestCase()
    {
        m_bus = fx2emu::startBus();
        if (!m_bus)
            return;
        QVERIFY(m_files.isValid());
    }

    void cleanup()
    {
        if (m_chip) {
            const QString faults = fx2emu::takeFaults(*m_chip);
            QVERIFY2(faults.isEmpty(), qPrintable("the emulated controller saw:\n" + faults));
        }
    }

    void cleanupTestCase()
    {
        m_device.reset();
        fx2emu::stopBus(m_bus);
    }

    void requestGroups_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("group");  // -1: load the board
        for (Speed speed : {Speed::High, Speed::Full}) {
            const char* name = speed == Speed::High ? "high" : "full";
            QTest::addRow("%s speed, load", name) << int(speed) << -1;
            for (std::size_t g = 0; g < groups().size(); ++g)
                QTest::addRow("%s speed, %s", name, groups()[g].first) << int(speed) << int(g);
        }
    }

    void requestGroups()
    {
        QFETCH(int, speed);
        QFETCH(int, group);
        if (group < 0)
            return plugAndLoad(Speed(speed));
        QVERIFY2(m_device && m_speed == Speed(speed), "no board of this speed was loaded");
        (this->*groups()[std::size_t(group)].second)();
    }

    // USB 2.0 chapter 9 and recovering from a bus that misbehaves, on the
    // last board, driven as a host controller would drive it.
    void standardRequestsAndRecovery_data()
    {
        QTest::addColumn<QString>("kind");
        // Last, what leaves the board in a state of its own.
        for (const char* kind : {"GET_STATUS of endpoint 0", "GET_CONFIGURATION after a bus reset", "suspend",
                                 "I2C bus error in a read", "SET_FEATURE(TEST_MODE)", "host gives up in an OUT stage"})
            QTest::newRow(kind) << kind;
    }

    void standardRequestsAndRecovery()
    {
        QFETCH(QString, kind);
        QVERIFY2(m_chip, "no board was loaded");
        std::uint8_t data[128] = {};
        const ModelReply version = {ModelReply::Done, 6};
        auto is = [](const ModelReply& r, const ModelReply& expected) {
            return r.outcome == expected.outcome && r.actual == expected.actual;
        };
        if (kind == "GET_STATUS of endpoint 0") {  // 9.4.5: every device answers it
            QVERIFY(is(request({0x82, 0, 0, 0, 0, 0, 2, 0}, data), {ModelReply::Done, 2}));
            QCOMPARE(data[0] & 1, 0);                                // not halted
        } else if (kind == "GET_CONFIGURATION after a bus reset") {  // 9.1.1.3: a reset leaves it unconfigured
            m_chip->resetBus();
            QVERIFY(is(request({0x80, 8, 0, 0, 0, 0, 1, 0}, data), {ModelReply::Done, 1}));
            QCOMPARE(int(data[0]), 0);
            QVERIFY(is(request({0x00, 9, 1, 0, 0, 0, 0, 0}, data), {ModelReply::Done, 0}));
        } else if (kind == "suspend") {  // 7.1.7.6: suspended within 10 ms of an idle bus
            QVERIFY2(m_chip->suspendBus(10), "the firmware did not enter suspend");
            QVERIFY(is(request({0xC0, 0xB0, 0, 0, 0, 0, 6, 0}, data), version));  // bus traffic resumes it
        } else if (kind == "I2C bus error in a read") {
            // The second data byte of the identity's EEPROM read meets a bus
            // error: the request fails and the transaction still ends with a
            // STOP (the emulator reports a bus left open), so I2C works after.
            m_chip->failI2cByte(0x51, 6);
            QCOMPARE(int(request({0xC0, 0xB2, 0, 0, 0, 0, 40, 0}, data).outcome), int(ModelReply::Stall));
            QVERIFY(is(request({0xC0, 0xB6, 0x48, 0, 0, 0, 2, 0}, data), {ModelReply::Done, 2}));
        } else if (kind == "SET_FEATURE(TEST_MODE)") {  // 9.4.9: a high-speed device takes it (after the status stage)
            QVERIFY(is(request({0x00, 3, 2, 0, 0, 4, 0, 0}, data), {ModelReply::Done, 0}));
        } else {
            // A 128-byte register write whose host stops after one packet and
            // gives up 50 ms later: the firmware takes no packet that never
            // came, and answers the next request.
            std::vector<std::uint8_t> half(64, 0x11);
            const std::uint8_t setup[8] = {0x40, 0xB5, 0x00, 0x02, 0, 0, 128, 0};
            m_chip->abandonControl(setup, half.data(), half.size(), 50);
            QVERIFY(is(request({0xC0, 0xB0, 0, 0, 0, 0, 6, 0}, data), version));
            QCOMPARE(QByteArray(reinterpret_cast<char*>(data), 2), QByteArray("KO"));
            chips([](EmulatedBoard& b) { QCOMPARE(int(b.fpga->registers[0x240]), 0); });
        }
    }

    // A boot image (kousb make-boot-image) in the EEPROM: at power-on the
    // boot ROM loads it (its 0xC2 format, register sheet 4.16) and the board
    // comes up as our firmware with the identity in the image. Flashing a
    // whole image through the firmware takes about a minute of emulation:
    // that row runs with UDM_FX2EMU_LONG set (ctest -L fx2emu-long).
    void bootsFromItsEeprom_data()
    {
        QTest::addColumn<bool>("flash");
        QTest::newRow("image written into the chip") << false;
        QTest::newRow("image flashed by kousb") << true;
    }
    void bootsFromItsEeprom()
    {
        QFETCH(bool, flash);
        if (flash && qEnvironmentVariableIsEmpty("UDM_FX2EMU_LONG"))
            QSKIP("flashing a whole boot image takes about a minute; set UDM_FX2EMU_LONG=1 to run it");
        const QString hex = m_files.filePath("boot.hex");
        const ToolResult made = kousb(
            {"make-boot-image", fx2emu::image("kousb-fx2.ihx"), hex, "--id", "77", "--name", "Booted", "--class", "2"});
        QVERIFY2(made.exitCode == 0, qPrintable(made.err));
        std::vector<std::uint8_t> eeprom;
        if (flash) {
            plugAndLoad(Speed::High);
            const ToolResult flashed = kousb({"flash-eeprom", hex});
            QVERIFY2(flashed.exitCode == 0, qPrintable(flashed.out + flashed.err));
            chips([&](EmulatedBoard& b) { eeprom = b.eeprom->memory; });
        } else {
            kousb::formats::HexImage image;
            QVERIFY(kousb::formats::readIntelHexFile(hex.toStdString(), Eeprom24lc128::kSize, image));
            eeprom = image.bytes;
        }
        // Power off, and on with that EEPROM.
        unplugBoard();
        m_chip = std::make_shared<Fx2Emulator>(fx2emu::tools(), EmulatedBoard::Kind::Fpga);
        chips([&](EmulatedBoard& b) { std::copy(eeprom.begin(), eeprom.end(), b.eeprom->memory.begin()); });
        m_bus->plug(++m_port, m_chip);
        const int slot = fx2emu::waitForBoard(m_port, "04b4:1004");
        QVERIFY2(slot >= 0, "the board did not boot from its EEPROM");
        m_device = std::make_unique<KoUSBDevice>(GetUSBDeviceIndexed(slot));
        QCOMPARE(m_device->GetId(), 77);
        QCOMPARE(text(m_device->GetName()), QStringLiteral("Booted"));
    }

    // Two boards in their boot state loaded by one kousb: each is waited for
    // at its place, so that when kousb ends, both run our firmware there and
    // give our serial string ("KO" and the ID in hex, firmware/chip/descriptors.c).
    void batchLoadWaitsForEachPlace()
    {
        unplugBoard();
        std::vector<std::shared_ptr<Fx2Emulator>> chips;
        QStringList args;
        for (int i = 0; i < 2; ++i) {
            chips.push_back(std::make_shared<Fx2Emulator>(fx2emu::tools(), EmulatedBoard::Kind::Fpga, Speed::High));
            m_bus->plug(++m_port, chips.back());
            QVERIFY(fx2emu::waitForBoard(m_port, "04b4:8613") >= 0);
            args << "--board" << QString("@1-%1").arg(m_port);
        }
        const ToolResult load = kousb(args + QStringList{"load-controller", fx2emu::image("kousb-fx2.ihx"), "--json"});
        QVERIFY2(load.exitCode == 0, qPrintable(load.out + load.err));
        for (int port : {m_port - 1, m_port}) {
            const QString place = QString("1-%1").arg(port);
            QVERIFY2(load.out.contains("{\"place\": \"" + place + "\", "), qPrintable(load.out));
            QVERIFY2(load.out.contains("running at " + place + "\""), qPrintable(load.out));
            const ToolResult info = kousb({"--board", "@" + place, "info"});
            QVERIFY2(info.exitCode == 0 && info.out.contains("USB board 04b4:1004"), qPrintable(info.out + info.err));
            const QString id = QRegularExpression("^id: (-?\\d+)\n").match(info.out).captured(1);
            const QString serial = QString("KO%1").arg(quint32(id.toInt()), 8, 16, QChar('0')).toUpper();
            QVERIFY2(info.out.contains("\nserial: " + serial + "\n"), qPrintable(info.out));
        }
        for (int port : {m_port - 1, m_port})
            m_bus->unplug(port);
        for (const auto& chip : chips)
            QCOMPARE(fx2emu::takeFaults(*chip), QString());
    }

    // The generic profile's image on a board with the boot EEPROM, the
    // sensor and an SPI flash only: it serves what that board has.
    void genericProfile()
    {
        plugAndLoad(Speed::High, EmulatedBoard::Kind::Generic, "kousb-fx2-generic.ihx");
        if (QTest::currentTestFailed())
            return;
        const QString info = text(m_device->GetEndpointInfo());
        QVERIFY2(info.contains("; serves I2C, SPI, EEPROM, identity\n"), qPrintable(info));
        QByteArray out("generic flash..."), in(16, 0);
        QVERIFY2(m_device->WriteSPI(0x400, bytes(out), 16) && m_device->ReadSPI(0x400, bytes(in), 16),
                 m_device->GetLastError());
        QCOMPARE(in, out);
        QVERIFY(!m_device->ReadXilinx(0, bytes(in), 1));
        QCOMPARE(m_device->GetLastErrorCode(), int(KOUSB_ERROR_NOT_SUPPORTED));
    }
};

QTEST_GUILESS_MAIN(TestFx2Emu)
#include "tst_fx2emu.moc"
