// SPDX-License-Identifier: MIT
// The example files the project installs, loaded into a simulated board the
// way the README's first five minutes do: each is taken as it is and has the
// effect described there.
#include "KoUSBLib.h"
#include "eepromlayout.h"
#include "simboards.h"

#include <QtTest>

class TestExamples : public QObject {
    Q_OBJECT

    SimBoards boards;
    KoUSBDevice device{nullptr};

    static QByteArray example(const char* name) { return qgetenv("UDM_EXAMPLES_DIR") + "/" + name; }

private slots:
    void initTestCase()
    {
        boards.plug(0, {1, "Demo board A", 1, 3, 24.0});
        QVERIFY(InitUSB());
        device.SetDeviceHandle(GetUSBDevice(1, -1));
        QCOMPARE(device.GetId(), 1);
    }

    void eachExampleDoesWhatTheWalkThroughSays()
    {
        // Boot bytes at the start of the EEPROM, which the identity image must leave.
        unsigned char boot[] = {0x00, 0x00, 0xC2, 0xB4, 0x04};
        QVERIFY2(device.WriteI2C(0x51, boot, sizeof boot), device.GetLastError());
        const std::vector<std::uint8_t> eepromBefore = boards.read(0).eeprom;
        QCOMPARE(eepromBefore[0], std::uint8_t(0xC2));

        QVERIFY2(device.DownloadXilinx(example("demo-fpga.bit")), device.GetLastError());
        QCOMPARE(QString::fromStdString(boards.read(0).fpgaDesign), QStringLiteral("udm_example.ncd"));

        QVERIFY2(device.LoadFirmwareFromFile(example("example-controller.bix")), device.GetLastError());
        unsigned char text[16] = {};
        QVERIFY2(device.Read8051(3, text, sizeof text), device.GetLastError());
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(text), sizeof text), QByteArray("USB Device Manag"));

        // A new identity, different from every demo board's, and nothing else
        // of the EEPROM touched.
        QVERIFY2(device.LoadHexFileToEeprom(example("example-identity.hex")), device.GetLastError());
        QCOMPARE(device.GetId(), 4242);
        QCOMPARE(QByteArray(device.GetName()), QByteArray("Example board"));
        QCOMPARE(device.GetClass(), 7);
        const std::vector<std::uint8_t> eepromAfter = boards.read(0).eeprom;
        QVERIFY(std::equal(eepromBefore.begin(), eepromBefore.begin() + kousb::eeprom::kIdentityOffset,
                           eepromAfter.begin()));
    }
};

QTEST_GUILESS_MAIN(TestExamples)
#include "tst_examples.moc"
