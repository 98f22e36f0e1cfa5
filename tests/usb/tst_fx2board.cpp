// SPDX-License-Identifier: MIT
// The real-board logic through the library's public interface, on a board
// running our firmware's host-compiled core (or in its boot state), with the
// faults a firmware cannot show wrapped around it: someone else's firmware,
// a board that stays on the bus or never comes back, stalls, timeouts, a
// short answer, unplugging, no access. Identity, descriptors, controller
// memory, firmware loading with re-enumeration, the bulk and interrupt
// endpoints, FPGA configuration and EEPROM images; the rest of the board
// protocol's requests run against the core in tests/firmware.
#include "KoUSBLib.h"
#include "faultymodel.h"
#include "firmwarefiles.h"
#include "firmwaremodel.h"
#include "libusb/fx2board.h"
#include "libusb/protocol.h"
#include "modeltransport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

using namespace firmwarefiles;
using namespace kousb::usb::protocol;
using Starts = FirmwareModel::Starts;

namespace {

QString text(const char* s) { return QString::fromLatin1(s); }

// The 0xA0 writes in a control log, as (address, bytes).
QList<QPair<int, QByteArray>> firmwareWrites(const std::vector<ControlRecord>& log)
{
    QList<QPair<int, QByteArray>> out;
    for (const ControlRecord& r : log)
        if (r.setup[1] == kFirmwareLoad && r.setup[0] == kVendorOut)
            out.append({r.setup[2] | r.setup[3] << 8,
                        QByteArray(reinterpret_cast<const char*>(r.data.data()), int(r.data.size()))});
    return out;
}

// A board of ours: its firmware model, the faults around it and the transport to it.
struct Plugged {
    std::shared_ptr<FirmwareModel> model;
    std::shared_ptr<FaultyModel> faults;
    std::shared_ptr<ModelTransport> transport;
    bool cpuInReset() const { return model->board().controller.cpuReset; }
};

// What a board shows before it is plugged in.
enum class Setup { OurFirmware, BootState, ForeignFirmware, NoAccess };

}  // namespace

class TestFx2Board : public QObject {
    Q_OBJECT

    int m_nextSlot = 0;
    std::vector<Plugged> m_boards;
    QTemporaryDir m_files;

    // A new board (ID 7, "Model board", class 3 in its EEPROM) in a slot of
    // its own, bound to `device`; `script` sets faults before it is found.
    Plugged plug(KoUSBDevice& device, Setup setup = Setup::OurFirmware,
                 const std::function<void(Plugged&)>& script = {},
                 const fwmodel::Profile& profile = fwmodel::kFpgaProfile)
    {
        Plugged b;
        b.model = std::make_shared<FirmwareModel>(
            setup == Setup::BootState || setup == Setup::NoAccess ? Starts::InBootState : Starts::RunningFirmware,
            profile);
        b.model->writeIdentity(7, "Model board", 3);
        b.faults = std::make_shared<FaultyModel>(b.model);
        b.transport = std::make_shared<ModelTransport>(b.faults);
        if (setup == Setup::ForeignFirmware)
            b.faults->runForeignFirmware();
        if (setup == Setup::NoAccess)
            b.transport->denyAccess();
        if (script)
            script(b);
        const int slot = m_nextSlot++;
        installBoard(b.transport, slot);
        OnDeviceChange();
        device.SetDeviceHandle(GetUSBDeviceIndexed(slot));
        m_boards.push_back(b);
        return b;
    }
    std::string file(const QString& name, const QByteArray& content)
    {
        return QFile::encodeName(writeFile(m_files.filePath(name), content)).toStdString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(InitUSB());
        QVERIFY(m_files.isValid());
    }

    void identity_data()
    {
        QTest::addColumn<int>("setup");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("deviceClass");
        QTest::addColumn<int>("fw");
        QTest::newRow("our firmware") << int(Setup::OurFirmware) << 7 << "Model board" << 3 << int(FW_VERSION);
        QTest::newRow("boot state") << int(Setup::BootState) << 0 << "No firmware (boot state)" << 0 << 0;
        QTest::newRow("foreign firmware")
            << int(Setup::ForeignFirmware) << 0 << "Unknown firmware (04b4:1004)" << 0 << 0;
        QTest::newRow("no access") << int(Setup::NoAccess) << 0 << "No access (udev rule missing)" << 0 << 0;
    }
    void identity()
    {
        QFETCH(int, setup);
        KoUSBDevice device(nullptr);
        plug(device, Setup(setup));
        QTEST(device.GetId(), "id");
        QTEST(text(device.GetName()), "name");
        QTEST(device.GetClass(), "deviceClass");
        QTEST(device.GetFWVersion(), "fw");
    }

    // Another program writes a real board's identity: the getters give what
    // the library read before until ReloadIdentity reads the board again.
    void identityReloaded()
    {
        KoUSBDevice device(nullptr);
        const Plugged b = plug(device);
        const QString before = text(device.GetName());
        kousb::usb::Fx2Board otherProgram(std::make_shared<ModelTransport>(b.model));
        QVERIFY(otherProgram.writeName("Renamed elsewhere"));
        QVERIFY(otherProgram.writeId(42));
        QCOMPARE(text(device.GetName()), before);
        QVERIFY2(device.ReloadIdentity(), device.GetLastError());
        QCOMPARE(text(device.GetName()), QStringLiteral("Renamed elsewhere"));
        QCOMPARE(device.GetId(), 42);
    }

    void endpointInfo()
    {
        KoUSBDevice device(nullptr);
        plug(device);
        const QString info = text(device.GetEndpointInfo());
        for (const char* part : {"USB board 04b4:1004", "Speed: high (480 Mbit/s)", "Bus 1, port 2,", "configuration 1",
                                 "Firmware: ours, protocol 1.0", "FPGA: 3s500e", "interface 0, alternate setting 0",
                                 "0x86  in   bulk, max packet 512", "0x01  out  interrupt, max packet 64",
                                 "Block: bulk in 0x86, bulk out 0x02"})
            QVERIFY2(info.contains(QLatin1String(part)), qPrintable(info));
        KoUSBDevice boot(nullptr);
        plug(boot, Setup::BootState);
        QVERIFY(text(boot.GetEndpointInfo()).contains("Firmware: none of ours"));
    }

    void controllerMemoryInChunks()
    {
        KoUSBDevice device(nullptr);
        const Plugged b = plug(device, Setup::BootState);
        QByteArray bytes(100, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7 + 1);
        auto* data = reinterpret_cast<unsigned char*>(bytes.data());
        // Pieces end on 64-byte boundaries counted from address 0, not from the start.
        QVERIFY2(device.Write8051(0x1010, data, 100), device.GetLastError());
        const auto writes = firmwareWrites(b.faults->controlLog());
        QCOMPARE(writes.size(), 2);
        QCOMPARE(writes[0].first, 0x1010);
        QCOMPARE(writes[0].second, bytes.left(48));
        QCOMPARE(writes[1].first, 0x1040);
        QCOMPARE(writes[1].second, bytes.mid(48));
        unsigned char back[100] = {};
        QVERIFY2(device.Read8051(0x1010, back, 100), device.GetLastError());
        QCOMPARE(QByteArray(reinterpret_cast<char*>(back), 100), bytes);
        unsigned char cpucs = 0xAA;
        QVERIFY(device.Read8051(kCpucs, &cpucs, 1));
        QCOMPARE(int(cpucs), 0);

        // Letting the CPU run through CPUCS is followed like a firmware load:
        // the board comes back with its firmware's identity.
        unsigned char reset = kCpuReset, run = kCpuRun;
        QVERIFY2(device.Write8051(kCpucs, &reset, 1), device.GetLastError());
        QVERIFY(b.cpuInReset());
        QVERIFY2(device.Write8051(kCpucs, &run, 1), device.GetLastError());
        QVERIFY(!b.cpuInReset());
        QCOMPARE(text(device.GetName()), QStringLiteral("Model board"));
        QVERIFY(text(device.GetEndpointInfo()).contains("04b4:1004"));
    }

    void controllerMemoryOutOfReach_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("length");
        QTest::newRow("past program RAM") << 0x3FF8 << 16;
        QTest::newRow("between the regions") << 0x8000 << 1;
        QTest::newRow("past data RAM") << 0xE1F8 << 9;
        QTest::newRow("CPUCS and beyond") << 0xE600 << 2;
    }
    void controllerMemoryOutOfReach()
    {
        QFETCH(int, address);
        QFETCH(int, length);
        KoUSBDevice device(nullptr);
        const Plugged b = plug(device, Setup::BootState);
        unsigned char buffer[16] = {0x5A};
        QVERIFY(!device.Read8051(quint16(address), buffer, quint16(length)));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_OUT_OF_RANGE));
        QVERIFY(!device.Write8051(quint16(address), buffer, quint16(length)));
        QCOMPARE(buffer[0], 0x5A);
        QVERIFY(b.faults->controlLog().empty());
    }

    void firmwareLoadReenumerates()
    {
        KoUSBDevice device(nullptr);
        const Plugged b = plug(device, Setup::BootState);
        void* handle = GetUSBDevice(0, -1);
        QVERIFY(handle);
        QCOMPARE(OnDeviceChange(), false);
        QByteArray code(70, '\x11');
        const std::string path = file("fw.ihx", intelHex({{0x0000, code}, {0x0200, "\x22\x33"}, {0xE000, "\x44"}}));
        QVERIFY2(device.LoadFirmwareFromFile(path.c_str()), device.GetLastError());

        // Reset on, the image in EP0-sized pieces that stay within a chunk, reset off.
        const auto writes = firmwareWrites(b.faults->controlLog());
        QVERIFY(writes.size() >= 5);
        QCOMPARE(writes.first(), qMakePair(int(kCpucs), QByteArray("\x01")));
        QCOMPARE(writes.last(), qMakePair(int(kCpucs), QByteArray(1, '\0')));
        for (int i = 1; i < writes.size() - 1; ++i) {
            QVERIFY(writes[i].second.size() <= 64);
            QCOMPARE(writes[i].first / 64, (writes[i].first + writes[i].second.size() - 1) / 64);
        }
        QCOMPARE(b.model->memory(0, 70), std::vector<std::uint8_t>(70, 0x11));
        QCOMPARE(b.model->memory(0x200, 2), (std::vector<std::uint8_t>{0x22, 0x33}));
        QCOMPARE(b.model->memory(0xE000, 1), std::vector<std::uint8_t>{0x44});
        QVERIFY(!b.cpuInReset());

        // The same board, in the same handle, now with its firmware's identity; the window is told.
        QCOMPARE(text(device.GetName()), QStringLiteral("Model board"));
        QCOMPARE(device.GetId(), 7);
        QVERIFY(text(device.GetEndpointInfo()).contains("04b4:1004"));
        QVERIFY(OnDeviceChange());
        QCOMPARE(GetUSBDevice(7, -1) != nullptr, true);
    }

    void firmwareLoadWithoutReenumeration()
    {
        KoUSBDevice device(nullptr);
        const Plugged b = plug(device, Setup::BootState, [](Plugged& p) {
            p.faults->setAfterRelease(FaultyModel::AfterRelease::StaysConnected);
        });
        const std::string path = file("fw.bix", QByteArray(300, '\x5A'));
        QVERIFY2(device.LoadFirmwareFromFile(path.c_str()), device.GetLastError());
        QCOMPARE(b.model->memory(0, 300), std::vector<std::uint8_t>(300, 0x5A));
        QCOMPARE(device.GetId(), 7);
    }

    void firmwareRefusedBeforeAnyWrite_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("hex outside internal memory")
            << "a.hex" << intelHex({{0x0000, "\x01"}, {0x5000, "\x02"}}) << "data at 0x5000 outside the memory";
        QTest::newRow("hex past data RAM") << "b.hex" << intelHex({{0xE300, "\x02"}}) << "file refused";
        QTest::newRow("bix larger than program RAM") << "c.bix" << QByteArray(0x4001, '\0') << "file refused";
        QTest::newRow("hex without data") << "d.hex" << QByteArray(kHexEnd + "\n") << "no data in the image";
        QTest::newRow("bad checksum") << "e.hex" << QByteArray(":0100000001FF\n:00000001FF\n") << "line 1";
    }
    void firmwareRefusedBeforeAnyWrite()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        KoUSBDevice device(nullptr);
        const Plugged b = plug(device, Setup::BootState);
        QVERIFY(!device.LoadFirmwareFromFile(file(name, content).c_str()));
        QFETCH(QString, reason);
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_BAD_FILE));
        QVERIFY2(text(device.GetLastError()).contains(reason), device.GetLastError());
        QVERIFY(b.faults->controlLog().empty());
        QVERIFY(!b.cpuInReset());
    }

    void firmwareLoadFailures()
    {
        const std::string path = file("f.bix", QByteArray(200, '\x01'));
        {
            // It leaves and never comes back: the call fails, the board is gone from its slot.
            KoUSBDevice device(nullptr);
            plug(device, Setup::BootState,
                 [](Plugged& p) { p.faults->setAfterRelease(FaultyModel::AfterRelease::NeverComesBack); });
            const int slot = m_nextSlot - 1;
            const QString place = text(device.GetPlace());
            QVERIFY(!device.LoadFirmwareFromFile(path.c_str()));
            QVERIFY2(text(device.GetLastError()).contains("the board at " + place + " did not come back within 5 s"),
                     device.GetLastError());
            unsigned char b[1];
            QVERIFY(!device.Read8051(0, b, 1));
            QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_UNPLUGGED));
            QVERIFY(OnDeviceChange());
            QVERIFY(GetUSBDeviceIndexed(slot) == nullptr);
        }
        {
            // Unplugged in the middle of the image.
            KoUSBDevice device(nullptr);
            plug(device, Setup::BootState, [](Plugged& p) { p.faults->unplugAfter(2); });
            QVERIFY(!device.LoadFirmwareFromFile(path.c_str()));
            QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_UNPLUGGED));
        }
    }

    void unsupportedOperations()
    {
        KoUSBDevice foreign(nullptr), boot(nullptr), partial(nullptr);
        plug(foreign, Setup::ForeignFirmware);
        const Plugged bootBoard = plug(boot, Setup::BootState);
        plug(partial, Setup::OurFirmware, {}, fwmodel::Profile{"I2C only", kCapI2C, ""});
        unsigned char buffer[16] = {};
        QVERIFY(!foreign.ReadI2C(0x50, buffer, 1));
        QCOMPARE(foreign.GetLastErrorCode(), int(KOUSB_ERROR_NOT_SUPPORTED));
        QVERIFY(!boot.WriteExternal(0, buffer, 1));
        QCOMPARE(boot.GetLastErrorCode(), int(KOUSB_ERROR_NOT_SUPPORTED));
        QVERIFY(!boot.WriteIDToEEPROM(5));
        QCOMPARE(boot.GetLastErrorCode(), int(KOUSB_ERROR_NOT_SUPPORTED));
        QVERIFY(bootBoard.faults->controlLog().empty());
        QVERIFY(!partial.WriteSPI(1, buffer, 1));
        QCOMPARE(partial.GetLastErrorCode(), int(KOUSB_ERROR_NOT_SUPPORTED));
        QVERIFY(!partial.DownloadXilinx(file("x.bit", bitFile()).c_str()));
        QCOMPARE(partial.GetLastErrorCode(), int(KOUSB_ERROR_NOT_SUPPORTED));
    }

    void blockTransfers()
    {
        KoUSBDevice device(nullptr);
        const Plugged b = plug(device);
        std::vector<unsigned char> out(65536), in(65536, 0);
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<unsigned char>(i * 31 + i / 256);
        // A write of whole packets is seen to end (the zero-length packet),
        // so the short write after it loops back on its own; each IN packet
        // after the looped-back bytes counts from 0.
        QVERIFY2(device.WriteBlock(out.data(), 65536), device.GetLastError());
        QVERIFY2(device.WriteBlock(out.data(), 64), device.GetLastError());
        QVERIFY2(device.ReadBlock(in.data(), 65536), device.GetLastError());
        QVERIFY(std::equal(out.begin(), out.begin() + 64, in.begin()));
        for (int i : {64, 511, 512, 1000, 65535})
            QCOMPARE(int(in[std::size_t(i)]), i % 512 % 256);

        QVERIFY(!device.WriteBlock(out.data(), 65537));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_BAD_ARGUMENT));

        // A short answer fails and leaves the buffer alone.
        b.faults->cutNext(0x86, 100);
        std::fill(in.begin(), in.end(), 0xEE);
        QVERIFY(!device.ReadBlock(in.data(), 200));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_TRANSFER_FAILED));
        QCOMPARE(in[0], 0xEE);

        b.faults->haltEndpoint(0x86);
        QVERIFY(!device.ReadBlock(in.data(), 16));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_TRANSFER_FAILED));
        QVERIFY(b.faults->clearedEndpoints().count(0x86));
        QVERIFY2(device.ReadBlock(in.data(), 16), device.GetLastError());

        b.faults->silence(0x02);
        QVERIFY(!device.WriteBlock(out.data(), 512));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_TIMEOUT));
    }

    void interruptTransfers()
    {
        KoUSBDevice device(nullptr), without(nullptr);
        plug(device);
        plug(without, Setup::OurFirmware,
             [](Plugged& p) { p.transport->removeEndpoints(kousb::usb::EndpointType::Interrupt); });
        // The status report read after a write: type 1, one report received,
        // the first 8 bytes of it echoed from byte 8 on.
        unsigned char report[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, back[16] = {};
        QVERIFY(device.WriteInterrupt(report));
        QVERIFY(device.ReadInterrupt(back));
        QCOMPARE(int(back[0]), 1);
        QCOMPARE(int(back[5]), 1);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(back + 8), 8), QByteArray(reinterpret_cast<char*>(report), 8));
        QVERIFY(!without.ReadInterrupt(back));
        QCOMPARE(without.GetLastErrorCode(), int(KOUSB_ERROR_NOT_SUPPORTED));
        QVERIFY(!text(without.GetEndpointInfo()).contains("interrupt"));
    }

    void fpgaConfiguration()
    {
        KoUSBDevice device(nullptr);
        const fwmodel::Board& chips = plug(device).model->board();
        QVERIFY2(device.DownloadXilinx(file("ok.bit", bitFile("3s500efg320", 9000)).c_str()), device.GetLastError());
        QCOMPARE(chips.fpga.configuredBytes, std::uint32_t(9000));
        QVERIFY(!device.DownloadXilinx(file("wrong.bit", bitFile("6slx9tqg144", 64)).c_str()));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_BAD_FILE));
        QVERIFY(!device.DownloadXilinx(file("junk.bit", "not a bit file").c_str()));
        // Refused before any request: a configuration begun would have cleared the FPGA.
        QVERIFY(chips.fpga.configured);
        QCOMPARE(chips.fpga.configuredBytes, std::uint32_t(9000));
    }

    void eepromImageVerified()
    {
        KoUSBDevice device(nullptr);
        const std::uint8_t* eeprom = plug(device).model->board().eeprom.cells;
        const QByteArray header("\xC0\xB4\x04\x04\x10\x01\x00\x00", 8);
        const std::string path = file("e.hex", intelHex({{0x0000, header}, {0x3F00, QByteArray(100, 'k')}}));
        QVERIFY2(device.LoadHexFileToEeprom(path.c_str()), device.GetLastError());
        QCOMPARE(std::vector<std::uint8_t>(eeprom, eeprom + 8),
                 std::vector<std::uint8_t>(header.begin(), header.end()));
        QCOMPARE(std::vector<std::uint8_t>(eeprom + 0x3F00, eeprom + 0x3F64), std::vector<std::uint8_t>(100, 'k'));
        QCOMPARE(int(eeprom[8]), 0xFF);  // only the bytes the image gives
        // A verification failure: tst_boardcontract, the same for every kind of board.
    }

    void noAccess()
    {
        KoUSBDevice device(nullptr);
        const Plugged b = plug(device, Setup::NoAccess);
        unsigned char bytes[16] = {};
        QVERIFY(!device.Read8051(0, bytes, 1));
        QVERIFY2(text(device.GetLastError()).contains("install the udev rule"), device.GetLastError());
        QVERIFY(!device.ReadBlock(bytes, 16));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_ACCESS_DENIED));
        QVERIFY(!device.LoadFirmwareFromFile(file("n.bix", "x").c_str()));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_ACCESS_DENIED));
        QVERIFY(text(device.GetEndpointInfo()).contains("udev rule"));
        QVERIFY(b.faults->controlLog().empty());
    }

    void unplugMidCall()
    {
        KoUSBDevice device(nullptr);
        const Plugged b = plug(device);
        const int slot = m_nextSlot - 1;
        void* handle = GetUSBDeviceIndexed(slot);
        std::vector<unsigned char> data(4096, 1);
        b.faults->unplugAfter(0);
        QVERIFY(!device.WriteBlock(data.data(), 4096));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_UNPLUGGED));
        QVERIFY(OnDeviceChange());
        QVERIFY(GetUSBDeviceIndexed(slot) == nullptr);
        KoUSBDevice stale(handle);
        QVERIFY(!stale.ReadBlock(data.data(), 16));
        QCOMPARE(stale.GetLastErrorCode(), int(KOUSB_ERROR_UNPLUGGED));
        QCOMPARE(stale.GetId(), 0);
    }
};

QTEST_GUILESS_MAIN(TestFx2Board)
#include "tst_fx2board.moc"
