// SPDX-License-Identifier: MIT
// Real boards through the real libusb: the library finds, drives and loses
// boards on a USB bus emulated under umockdev, whose usbfs requests our
// firmware's host-compiled core answers (KoUSBDevice -> Fx2Board ->
// LibusbTransport -> libusb -> usbfs -> the firmware core and chip models).
// The core has one instance per process: each test plugs one board and
// pulls it out when done.
#include "KoUSBLib.h"
#include "asnobody.h"
#include "emulatedbus.h"
#include "faultymodel.h"
#include "firmwarefiles.h"
#include "firmwaremodel.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using Starts = FirmwareModel::Starts;

namespace {

QString text(const char* s) { return QString::fromLatin1(s); }

// Waits until the device-change descriptor is readable.
bool changeSignalled(int ms = 5000)
{
    pollfd p{GetDeviceChangeDescriptor(), POLLIN, 0};
    return p.fd >= 0 && ::poll(&p, 1, ms) == 1;
}

// Slots whose board sits at root hub `port`.
QList<int> slotsAtPort(int port)
{
    QList<int> out;
    for (int slot = 0; slot < GetMaxNumberOfUSBBoards(); ++slot) {
        KoUSBDevice d(GetUSBDeviceIndexed(slot));
        if (text(d.GetEndpointInfo()).contains(QString("Bus 1, port %1,").arg(port)))
            out << slot;
    }
    return out;
}

// As an unprivileged user: a board whose node that user cannot open.
// Returns the name the library lists it under, or why not.
QString nameOfUnopenableBoard(bool& skipped)
{
    const ChildAnswer answer = runAsNobody([](int& code) {
        ::setenv("KOUSB_SIM_DIR", "/nonexistent/kousb-sim", 1);
        ::setenv("KOUSB_USB_BACKEND", "on", 1);
        EmulatedBus bus;
        bus.plug(5, makeBoardModel(Starts::RunningFirmware));
        if (::chmod(bus.nodeFile(5).c_str(), 0) != 0)
            return std::string("cannot change the node's permissions");
        InitUSB();
        const QList<int> found = slotsAtPort(5);
        if (found.size() != 1)
            return "found " + std::to_string(found.size()) + " boards";
        KoUSBDevice board(GetUSBDeviceIndexed(found[0]));
        code = 0;
        return std::string(board.GetName());
    });
    skipped = answer.skipped;
    return QString::fromLatin1(answer.text.c_str());
}

}  // namespace

class TestLibusbBoards : public QObject {
    Q_OBJECT

    std::unique_ptr<EmulatedBus> m_bus;
    QTemporaryDir m_files;
    QString m_unopenableName;
    bool m_unopenableSkipped = false;
    int m_port = 0;  // where this test's board sits

    // Plugs a board at `port` and returns the slot it got.
    int plugAndFind(int port, const std::shared_ptr<DeviceModel>& model)
    {
        m_port = port;
        m_bus->plug(port, model);
        if (!changeSignalled())
            return -2;
        OnDeviceChange();
        const QList<int> found = slotsAtPort(port);
        return found.size() == 1 ? found[0] : -1;
    }

private slots:
    void initTestCase()
    {
        std::string why;
        if (!EmulatedBus::available(why))
            QSKIP(why.c_str());
        // Before any thread starts: the child that cannot open its board.
        m_unopenableName = nameOfUnopenableBoard(m_unopenableSkipped);
        QVERIFY(m_files.isValid());
        m_bus = std::make_unique<EmulatedBus>();
        qputenv("KOUSB_USB_BACKEND", "on");
        QVERIFY(InitUSB());
    }
    // The board leaves before the next test's board takes the firmware core over.
    void cleanup()
    {
        if (!m_bus || m_bus->address(m_port) == 0)
            return;
        m_bus->unplug(m_port);
        QVERIFY(changeSignalled());
        OnDeviceChange();
        QVERIFY(slotsAtPort(m_port).isEmpty());
    }
    // libusb lets go of the boards before the bus they sit on goes.
    void cleanupTestCase()
    {
        if (!m_bus)
            return;
        m_bus->unplugAll();
        changeSignalled();
        OnDeviceChange();
        for (int slot = 0; slot < GetMaxNumberOfUSBBoards(); ++slot)
            QVERIFY(GetUSBDeviceIndexed(slot) == nullptr);
        m_bus.reset();
    }

    // Arrival reaches the descriptor; the board takes the first real-board
    // slot and shows what the bus says of it.
    void arrivalAndEnumeration()
    {
        auto model = makeBoardModel(Starts::RunningFirmware);
        model->writeIdentity(7, "Lab board", 3);
        const int slot = plugAndFind(2, model);
        QCOMPARE(slot, 8);
        KoUSBDevice device(GetUSBDeviceIndexed(slot));
        QCOMPARE(text(device.GetName()), QStringLiteral("Lab board"));
        QCOMPARE(device.GetId(), 7);
        const QString info = text(device.GetEndpointInfo());
        for (const QString& part :
             {QString("USB board 04b4:1004, release 0100 (KO board with FPGA)"), QString("Speed: high (480 Mbit/s)"),
              QString("Bus 1, port 2, address %1").arg(m_bus->address(2)), QString("0x86  in   bulk, max packet 512"),
              QString("0x81  in   interrupt, max packet 64")})
            QVERIFY2(info.contains(part), qPrintable(info));
    }

    // Every access path, writing and reading back where it can.
    void everyIoMode()
    {
        auto model = makeBoardModel(Starts::RunningFirmware);
        KoUSBDevice d(GetUSBDeviceIndexed(plugAndFind(6, model)));
        fwmodel::Board& chips = model->board();
        std::vector<unsigned char> out(65536), in(65536);
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<unsigned char>(i * 29 + i / 251);
        auto roundTrip = [&](const char* mode, auto write, auto read, int n) {
            std::fill(in.begin(), in.end(), 0);
            QVERIFY2(write() && read(), qPrintable(QString(mode) + ": " + d.GetLastError()));
            QVERIFY2(std::equal(out.begin(), out.begin() + n, in.begin()), mode);
        };
        roundTrip(
            "external", [&] { return d.WriteExternal(0x1234, out.data(), 5000); },
            [&] { return d.ReadExternal(0x1234, in.data(), 5000); }, 5000);
        const QString bit =
            firmwarefiles::writeFile(m_files.filePath("io.bit"), firmwarefiles::bitFile("3s500efg320", 4000));
        QVERIFY2(d.DownloadXilinx(QFile::encodeName(bit).constData()), d.GetLastError());
        QCOMPARE(chips.fpga.configuredBytes, std::uint32_t(4000));
        roundTrip(
            "FPGA", [&] { return d.WriteXilinx(0x0010, out.data(), 8); },
            [&] { return d.ReadXilinx(0x0010, in.data(), 8); }, 8);
        roundTrip(
            "controller", [&] { return d.Write8051(0x0100, out.data(), 100); },
            [&] { return d.Read8051(0x0100, in.data(), 100); }, 100);
        roundTrip(
            "SPI", [&] { return d.WriteSPI(0x10203, out.data(), 16); },
            [&] { return d.ReadSPI(0x10203, in.data(), 16); }, 16);
        QVERIFY(!d.WriteSerial(out.data(), 10));  // the 56-pin controller has no UART pins
        QCOMPARE(d.GetLastErrorCode(), int(KOUSB_ERROR_NOT_SUPPORTED));
        roundTrip(
            "block", [&] { return d.WriteBlock(out.data(), 64); }, [&] { return d.ReadBlock(in.data(), 64); }, 64);

        chips.sensor.halfDegrees = 62;  // 31 °C, the sensor's first byte
        QVERIFY2(d.ReadI2C(0x48, in.data(), 2), d.GetLastError());
        QCOMPARE(int(in[0]), 31);
        QVERIFY2(d.WriteCommand(out.data(), 3), d.GetLastError());
        QCOMPARE(chips.fpga.commandBytes, std::uint32_t(3));
        QVERIFY(std::equal(out.begin(), out.begin() + 3, chips.fpga.lastCommand));
        std::uint8_t report[16] = {1, 2, 3, 4, 5, 6, 7, 8};
        QVERIFY2(d.WriteInterrupt(report) && d.ReadInterrupt(in.data()), d.GetLastError());
        QCOMPARE(QByteArray(reinterpret_cast<char*>(in.data()) + 8, 8),
                 QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
        // Whole blocks through libusb: the write taken, the read the firmware's packets.
        QVERIFY2(d.WriteBlock(out.data(), 65536) && d.ReadBlock(in.data(), 65536), d.GetLastError());
        QCOMPARE(int(in[1]), 1);
        QCOMPARE(int(in[65535]), 255);
    }

    // A refused request reaches the host's message through the error request;
    // a stalled endpoint is cleared; a transfer nobody answers times out.
    void stallsAndTimeouts()
    {
        auto faults = std::make_shared<FaultyModel>(makeBoardModel(Starts::RunningFirmware));
        KoUSBDevice d(GetUSBDeviceIndexed(plugAndFind(7, faults)));
        unsigned char buffer[512] = {};
        QVERIFY(!d.ReadXilinx(0, buffer, 1));  // the FPGA was never configured
        QCOMPARE(d.GetLastErrorCode(), int(KOUSB_ERROR_NOT_READY));

        faults->haltEndpoint(0x86);
        QVERIFY(d.WriteBlock(buffer, 16));
        QVERIFY(!d.ReadBlock(buffer, 16));
        QCOMPARE(d.GetLastErrorCode(), int(KOUSB_ERROR_TRANSFER_FAILED));
        QVERIFY(faults->clearedEndpoints().count(0x86));
        QVERIFY2(d.ReadBlock(buffer, 16), d.GetLastError());

        faults->silence(0x02);
        QVERIFY(!d.WriteBlock(buffer, 512));
        QCOMPARE(d.GetLastErrorCode(), int(KOUSB_ERROR_TIMEOUT));
    }

    // Controller firmware makes the board re-enumerate at its port while
    // another thread handles device changes, as the window does: one board,
    // in the slot it had, with its new address and identity; unplugged, it
    // leaves that slot and its handle answers no more.
    void firmwareLoadWhileDeviceChangesAreHandled()
    {
        auto model = makeBoardModel(Starts::InBootState);
        model->writeIdentity(12, "Loaded board", 3);
        const int slot = plugAndFind(3, model);
        QVERIFY(slot >= 8);
        void* handle = GetUSBDeviceIndexed(slot);
        KoUSBDevice d(handle);
        QCOMPARE(text(d.GetName()), QStringLiteral("No firmware (boot state)"));
        const int oldAddress = m_bus->address(3);

        std::atomic<bool> stop{false};
        std::thread changes([&] {
            while (!stop) {
                OnDeviceChange();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        const QString path = firmwarefiles::writeFile(m_files.filePath("fw.bix"), QByteArray(300, '\x5A'));
        const bool loaded = d.LoadFirmwareFromFile(QFile::encodeName(path).constData());
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop = true;
        changes.join();
        OnDeviceChange();
        QVERIFY2(loaded, d.GetLastError());
        QCOMPARE(slotsAtPort(3), QList<int>{slot});
        QCOMPARE(GetUSBDeviceIndexed(slot), handle);
        QCOMPARE(text(d.GetName()), QStringLiteral("Loaded board"));
        QCOMPARE(d.GetId(), 12);
        QVERIFY(m_bus->address(3) != oldAddress);
        QVERIFY2(text(d.GetEndpointInfo()).contains(QString("USB board 04b4:1004"))
                     && text(d.GetEndpointInfo()).contains(QString("address %1,").arg(m_bus->address(3))),
                 d.GetEndpointInfo());

        m_bus->unplug(3);
        QVERIFY(changeSignalled());
        QVERIFY(OnDeviceChange());
        QVERIFY(slotsAtPort(3).isEmpty());
        QVERIFY(GetUSBDeviceIndexed(slot) == nullptr);
        unsigned char b[4];
        QVERIFY(!d.ReadExternal(0, b, 4));
        QCOMPARE(d.GetLastErrorCode(), int(KOUSB_ERROR_UNPLUGGED));
        QCOMPARE(d.GetId(), 0);
    }

    // Pulled out while a transfer waits for data: the call fails as
    // unplugged, the descriptor says so, the slot empties.
    void removedMidTransfer()
    {
        auto faults = std::make_shared<FaultyModel>(makeBoardModel(Starts::RunningFirmware));
        faults->silence(0x86);
        const int slot = plugAndFind(4, faults);
        KoUSBDevice d(GetUSBDeviceIndexed(slot));
        OnDeviceChange();  // drain
        std::thread pull([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            m_bus->unplug(4);
        });
        unsigned char buffer[64] = {};
        const bool read = d.ReadBlock(buffer, 64);  // the board never answers: it waits
        pull.join();
        QVERIFY(!read);
        QCOMPARE(d.GetLastErrorCode(), int(KOUSB_ERROR_UNPLUGGED));
        QVERIFY(changeSignalled());
        QVERIFY(OnDeviceChange());
        QVERIFY(GetUSBDeviceIndexed(slot) == nullptr);
    }

    void unopenableNodeIsListed()
    {
        if (m_unopenableSkipped)
            QSKIP(qPrintable("no unprivileged user to try it as: " + m_unopenableName));
        QCOMPARE(m_unopenableName, QStringLiteral("No access (udev rule missing)"));
    }
};

QTEST_GUILESS_MAIN(TestLibusbBoards)
#include "tst_libusbboards.moc"
