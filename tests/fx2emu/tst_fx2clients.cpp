// SPDX-License-Identifier: MIT
// Programs no one here wrote, against the real image on the emulated
// controller: Debian's fxload loads the image into a board in its boot
// state, lsusb -v reads the descriptors the firmware serves, and pyusb
// finds the board and asks for its version; at high and at full speed.
#include "fx2emufixture.h"

#include <QStandardPaths>
#include <QtTest>

#include <map>

using Speed = Fx2Emulator::Speed;

class TestFx2Clients : public QObject {
    Q_OBJECT

    std::unique_ptr<EmulatedBus> m_bus;
    std::map<int, std::shared_ptr<Fx2Emulator>> m_boards;  // by port

    static void speedRows()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("speed");
        QTest::newRow("high speed") << 2 << int(Speed::High);
        QTest::newRow("full speed") << 3 << int(Speed::Full);
    }
    QString program(const QString& name)
    {
        const QString path = QStandardPaths::findExecutable(name, {"/usr/bin", "/usr/sbin", "/sbin"});
        if (path.isEmpty())
            QTest::qSkip(qPrintable(name + " is not installed (see scripts/packages.sh)"), __FILE__, __LINE__);
        return path;
    }

private slots:
    void initTestCase()
    {
        m_bus = fx2emu::startBus();
        if (!m_bus)
            return;
    }

    void cleanup()
    {
        for (auto& [port, chip] : m_boards) {
            const QString faults = fx2emu::takeFaults(*chip);
            QVERIFY2(faults.isEmpty(), qPrintable("the emulated controller saw:\n" + faults));
        }
    }

    void cleanupTestCase() { fx2emu::stopBus(m_bus); }

    void fxloadLoadsTheImage_data() { speedRows(); }
    void fxloadLoadsTheImage()
    {
        QFETCH(int, port);
        QFETCH(int, speed);
        const QString fxload = program("fxload");
        if (fxload.isEmpty())
            return;
        auto chip = std::make_shared<Fx2Emulator>(fx2emu::tools(), EmulatedBoard::Kind::Fpga, Speed(speed));
        m_boards[port] = chip;
        m_bus->plug(port, chip);
        QVERIFY(fx2emu::waitForBoard(port, "04b4:8613") >= 0);
        const ToolResult r = fx2emu::runOnBus(
            *m_bus, fxload,
            {"-t", "fx2lp", "-D", QString::fromStdString(m_bus->devnode(port)), "-I", fx2emu::image("kousb-fx2.ihx")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QVERIFY2(fx2emu::waitForBoard(port, "04b4:1004") >= 0, "the board did not come back as 04b4:1004");
    }

    void lsusbDescribesTheBoard_data() { speedRows(); }
    void lsusbDescribesTheBoard()
    {
        QFETCH(int, port);
        QFETCH(int, speed);
        const QString lsusb = program("lsusb");
        if (lsusb.isEmpty())
            return;
        QVERIFY2(m_boards.count(port), "fxload did not load this board");
        const ToolResult r = fx2emu::runOnBus(*m_bus, lsusb, {"-v", "-s", QString("1:%1").arg(m_bus->address(port))});
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), qPrintable(r.err));
        // Bulk packets are 512 bytes at high speed, 64 at full speed (USB 2.0, 5.8.3).
        const QString bulk = Speed(speed) == Speed::High ? "0x0200  1x 512 bytes" : "0x0040  1x 64 bytes";
        for (const char* line :
             {"idVendor           0x04b4", "idProduct          0x1004", "iProduct                2 KO board with FPGA",
              "Device Qualifier (for other device speed):", "Device Status:     0x0000"})
            QVERIFY2(r.out.contains(line), qPrintable(QString(line) + " is missing from:\n" + r.out));
        for (const char* endpoint : {"0x02  EP 2 OUT", "0x86  EP 6 IN"}) {
            const int at = r.out.indexOf(endpoint);
            QVERIFY2(at > 0, endpoint);
            QVERIFY2(r.out.mid(at, r.out.indexOf("bInterval", at) - at).contains("wMaxPacketSize     " + bulk),
                     qPrintable(r.out.mid(at, 300)));
        }
    }

    void pyusbGetsTheVersion_data() { speedRows(); }
    void pyusbGetsTheVersion()
    {
        QFETCH(int, port);
        const QString python = "/usr/bin/python3";  // Debian's, which sees python3-usb
        const ToolResult probe = runTool(python, {"-c", "import usb.core"});
        if (probe.exitCode != 0)
            QSKIP("Debian's python3-usb is not installed (see scripts/packages.sh)");
        QVERIFY2(m_boards.count(port), "fxload did not load this board");
        const ToolResult r = fx2emu::runOnBus(
            *m_bus, python, {QFINDTESTDATA("pyusb_version.py"), QString::number(m_bus->address(port))});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.out.startsWith("4b4f01"), qPrintable(r.out));  // 'K' 'O', protocol 1
    }
};

QTEST_GUILESS_MAIN(TestFx2Clients)
#include "tst_fx2clients.moc"
