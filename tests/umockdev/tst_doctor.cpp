// SPDX-License-Identifier: MIT
// kousb doctor's look at real boards, on a USB bus emulated under umockdev
// with the real libusb: a board in its boot state, one running our
// firmware, one a kernel driver holds (usbfs GETDRIVER names it), and one
// whose node the user cannot open. The node modes need a user that file
// modes bind, so that case runs in a child as the user nobody when the suite
// runs as root. The firmware core has one instance per process: one board at
// a time.
#include "KoUSBLib.h"
#include "doctorfacts.h"
#include "asnobody.h"
#include "emulatedbus.h"
#include "firmwaremodel.h"

#include <QtTest>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using Starts = FirmwareModel::Starts;
using doctor::Finding;

namespace {

// The pairs the controller's boot state and our firmware enumerate with
// (the FX2 fact sheet's default device; docs/board-protocol.md).
const std::vector<kousb::usb::UsbId> kOurs = {{0x04B4, 0x8613}, {0x04B4, 0x1004}};

// The findings about the board at root hub `port`, one line each.
QStringList findingsAt(int port)
{
    QStringList lines;
    const std::string subject = "usb 1-" + std::to_string(port) + " ";
    for (const Finding& finding : doctor::examineUsb(kOurs))
        if (finding.subject.compare(0, subject.size(), subject) == 0)
            lines << QString::fromStdString(doctor::format(finding));
    return lines;
}

// As the user nobody: a board whose node that user cannot open, examined.
// Returns its finding lines, or why not.
QString unopenableFindings(bool& skipped)
{
    const ChildAnswer answer = runAsNobody([](int& code) {
        EmulatedBus bus;
        bus.plug(5, makeBoardModel(Starts::RunningFirmware));
        if (::chmod(bus.nodeFile(5).c_str(), 0) != 0)
            return std::string("cannot change the node's permissions");
        code = 0;
        return findingsAt(5).join('\n').toStdString();
    });
    skipped = answer.skipped;
    return QString::fromStdString(answer.text);
}

}  // namespace

class TestDoctor : public QObject {
    Q_OBJECT

    std::unique_ptr<EmulatedBus> m_bus;
    QString m_unopenable;
    bool m_unopenableSkipped = false;

private slots:
    void initTestCase()
    {
        std::string why;
        if (!EmulatedBus::available(why))
            QSKIP(why.c_str());
        // Before any thread starts: the child that cannot open its board.
        m_unopenable = unopenableFindings(m_unopenableSkipped);
        m_bus = std::make_unique<EmulatedBus>();
    }

    void cleanupTestCase() { m_bus.reset(); }

    void whatRunsAndWhatHoldsIt_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("bootState");
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QStringList>("expected");  // each the start of a line, in order
        const QString opens = "ok       usb 1-{port} 04b4:{pid}: opens (/dev/bus/usb/001/{address})";
        QTest::newRow("boot state") << 2 << true << QString()
                                    << QStringList{opens,
                                                   "note     usb 1-2 04b4:8613: no firmware: the controller is "
                                                   "in its boot state (kousb load-controller loads ours)"};
        QTest::newRow("a kernel driver on our firmware")
            << 4 << false << "usbtest"
            << QStringList{opens,
                           "note     usb 1-4 04b4:1004: the kernel driver usbtest holds interface 0; libusb's "
                           "auto-detach takes it off while kousb or the window works on the board and gives it back "
                           "after (to unbind it for good: echo -n 1-4:1.0 | sudo tee "
                           "/sys/bus/usb/drivers/usbtest/unbind)",
                           "ok       usb 1-4 04b4:1004: runs our firmware, protocol 1."};
    }
    void whatRunsAndWhatHoldsIt()
    {
        QFETCH(int, port);
        QFETCH(bool, bootState);
        QFETCH(QString, driver);
        QFETCH(QStringList, expected);
        m_bus->plug(port, makeBoardModel(bootState ? Starts::InBootState : Starts::RunningFirmware));
        m_bus->setKernelDriver(port, driver.toStdString());
        const QString address = QString::asprintf("%03d", m_bus->address(port));
        const QStringList lines = findingsAt(port);
        m_bus->unplug(port);
        QCOMPARE(lines.size(), expected.size());
        for (int i = 0; i < lines.size(); ++i) {
            const QString want = QString(expected[i])
                                     .replace("{port}", QString::number(port))
                                     .replace("{pid}", bootState ? "8613" : "1004")
                                     .replace("{address}", address);
            QVERIFY2(lines[i].startsWith(want), qPrintable(lines[i] + "\n  wanted: " + want));
        }
    }

    // A node the user cannot open: a problem, with the permission and the fix.
    void unopenableNode()
    {
        if (m_unopenableSkipped)
            QSKIP(qPrintable("no unprivileged user to try it as: " + m_unopenable));
        QVERIFY2(m_unopenable.startsWith("PROBLEM  usb 1-5 04b4:1004: cannot be opened: Permission denied on "
                                         "/dev/bus/usb/001/"),
                 qPrintable(m_unopenable));
        QVERIFY2(m_unopenable.contains("mode 0000") && m_unopenable.contains("; fix: "), qPrintable(m_unopenable));
        QVERIFY2(!m_unopenable.contains('\n'), qPrintable(m_unopenable));  // nothing asked of a board it cannot open
    }

    // The place the library gives a real board is the one doctor names, and
    // it stays when the board re-enumerates at its port.
    void placeOfARealBoard()
    {
        m_bus->plug(6, makeBoardModel(Starts::RunningFirmware));
        qputenv("KOUSB_USB_BACKEND", "on");
        QVERIFY(InitUSB());
        QString places;
        for (int slot = 0; slot < GetMaxNumberOfUSBBoards(); ++slot)
            if (void* handle = GetUSBDeviceIndexed(slot))
                places += QString::fromLatin1(KoUSBDevice(handle).GetPlace()) + " ";
        m_bus->reenumerate(6);
        pollfd p{GetDeviceChangeDescriptor(), POLLIN, 0};
        QVERIFY(::poll(&p, 1, 5000) == 1);
        OnDeviceChange();
        for (int slot = 0; slot < GetMaxNumberOfUSBBoards(); ++slot)
            if (void* handle = GetUSBDeviceIndexed(slot))
                places += QString::fromLatin1(KoUSBDevice(handle).GetPlace()) + " ";
        m_bus->unplug(6);
        QVERIFY(::poll(&p, 1, 5000) == 1);
        OnDeviceChange();
        QCOMPARE(places, QStringLiteral("1-6 1-6 "));
    }
};

QTEST_GUILESS_MAIN(TestDoctor)
#include "tst_doctor.moc"
