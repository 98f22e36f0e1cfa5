// Against a real board, named by KOUSB_TEST_BOARD=vendor:product (skipped
// otherwise). It reads controller memory (the CPU keeps running, nothing is
// written there) and, when the board runs our firmware, runs the contract
// scenarios that change nothing the board keeps (contractscenarios.h): every
// access path written and read back, refused firmware files, and the EEPROM
// flashed with its own bytes. KOUSB_TEST_BITFILE names a .bit file for the
// board's FPGA, to take the FPGA registers in too.
#include "KoUSBLib.h"
#include "contractscenarios.h"

#include <QTemporaryDir>
#include <QtTest>

class TestHardware : public QObject {
    Q_OBJECT

    QString m_board;
    KoUSBDevice m_device{nullptr};
    QTemporaryDir m_files;

    void requireOurFirmware()
    {
        if (!QString::fromLatin1(m_device.GetEndpointInfo()).contains("Firmware: ours"))
            QSKIP("the board does not run our firmware");
    }

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

    void everyIoMode()
    {
        requireOurFirmware();
        contract::everyIoMode(m_device, qEnvironmentVariable("KOUSB_TEST_BITFILE"), false, false);
    }

    void firmwareRefused()
    {
        requireOurFirmware();
        contract::firmwareRefused(m_device, m_files.path());
    }

    void eepromReflash()
    {
        requireOurFirmware();
        contract::eepromReflash(m_device, m_files.path(), 0x3E00, 128);
    }
};

QTEST_GUILESS_MAIN(TestHardware)
#include "tst_hardware.moc"
