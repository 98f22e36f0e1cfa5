// Against a real board, named by KOUSB_TEST_BOARD=vendor:product (skipped
// otherwise). It reads controller memory (the CPU keeps running, nothing is
// written there) and, when the board runs our firmware, writes 4 KiB to its
// bulk OUT endpoint and reads them back from its bulk IN endpoint.
#include "KoUSBLib.h"

#include <QtTest>

class TestHardware : public QObject {
    Q_OBJECT

    QString m_board;
    KoUSBDevice m_device{nullptr};

private slots:
    void initTestCase()
    {
        m_board = qEnvironmentVariable("KOUSB_TEST_BOARD").toLower();
        if (m_board.isEmpty())
            QSKIP("set KOUSB_TEST_BOARD=vendor:product to run against a real board");
        qputenv("KOUSB_USB_BACKEND", "on");
        qputenv("KOUSB_USB_IDS", m_board.toLatin1());
        QVERIFY(InitUSB());
        for (int slot = 0; slot < GetMaxNumberOfUSBBoards(); ++slot) {
            KoUSBDevice probe(GetUSBDeviceIndexed(slot));
            if (QString::fromLatin1(probe.GetEndpointInfo()).contains("USB board " + m_board)) {
                m_device.SetDeviceHandle(GetUSBDeviceIndexed(slot));
                return;
            }
        }
        QFAIL(qPrintable("no board " + m_board + " found"));
    }

    void describesItself()
    {
        const QString info = QString::fromLatin1(m_device.GetEndpointInfo());
        QVERIFY2(info.contains("Speed: "), qPrintable(info));
        QVERIFY2(!info.contains("udev rule"), qPrintable(info));
    }

    void readsControllerMemory()
    {
        unsigned char first[16] = {}, again[16] = {};
        QVERIFY2(m_device.Read8051(0xE000, first, 16), m_device.GetLastError());
        QVERIFY2(m_device.Read8051(0xE000, again, 16), m_device.GetLastError());
        unsigned char cpucs = 0xFF;
        QVERIFY2(m_device.Read8051(0xE600, &cpucs, 1), m_device.GetLastError());
        QCOMPARE(cpucs & 0x01, 0);  // the CPU runs
    }

    void bulkLoopback()
    {
        if (!QString::fromLatin1(m_device.GetEndpointInfo()).contains("Firmware: ours"))
            QSKIP("the board does not run our firmware");
        std::vector<unsigned char> out(4096), in(4096);
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<unsigned char>(i * 13);
        QVERIFY2(m_device.WriteBlock(out.data(), 4096), m_device.GetLastError());
        QVERIFY2(m_device.ReadBlock(in.data(), 4096), m_device.GetLastError());
        QVERIFY(in == out);
    }
};

QTEST_GUILESS_MAIN(TestHardware)
#include "tst_hardware.moc"
