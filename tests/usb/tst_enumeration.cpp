// SPDX-License-Identifier: MIT
// Enumeration, handles and failure paths of the board library, through its
// public interface, on simulated boards.
#include "KoUSBLib.h"
#include "eepromlayout.h"
#include "simboards.h"

#include <QtTest>

#include <cstring>
#include <poll.h>

class TestEnumeration : public QObject {
    Q_OBJECT

    SimBoards boards;

private slots:
    void initTestCase() { QVERIFY(InitUSB()); }
    void cleanup()
    {
        boards.unplugAll();
        SimBoards::sync();
    }

    void slotsWithGaps()
    {
        boards.plug(0, 10, "first");
        boards.plug(3, 13, "fourth");
        QVERIFY(SimBoards::sync());
        QCOMPARE(GetMaxNumberOfUSBBoards(), 16);
        QVERIFY(GetUSBDeviceIndexed(0) != nullptr);
        QVERIFY(GetUSBDeviceIndexed(1) == nullptr);
        QVERIFY(GetUSBDeviceIndexed(2) == nullptr);
        QVERIFY(GetUSBDeviceIndexed(3) != nullptr);
        QVERIFY(GetUSBDeviceIndexed(-1) == nullptr);
        QVERIFY(GetUSBDeviceIndexed(16) == nullptr);
        KoUSBDevice device(GetUSBDeviceIndexed(3));
        QCOMPARE(device.GetId(), 13);
        QCOMPARE(QString::fromLatin1(device.GetName()), QStringLiteral("fourth"));
    }

    void slotCountShrinksWhenHighSlotEmpties()
    {
        boards.plug(20, 5, "high");
        QVERIFY(SimBoards::sync());
        QCOMPARE(GetMaxNumberOfUSBBoards(), 21);
        QVERIFY(GetUSBDeviceIndexed(20) != nullptr);
        boards.unplug(20);
        QVERIFY(SimBoards::sync());
        QCOMPARE(GetMaxNumberOfUSBBoards(), 16);
        QVERIFY(GetUSBDeviceIndexed(20) == nullptr);
    }

    void deviceById()
    {
        boards.plug(2, 7, "seven");
        boards.plug(5, 8, "eight");
        SimBoards::sync();
        QCOMPARE(GetUSBDevice(8, -1), GetUSBDeviceIndexed(5));
        QCOMPARE(GetUSBDevice(7, -1), GetUSBDeviceIndexed(2));
        QCOMPARE(GetUSBDevice(-1, -1), GetUSBDeviceIndexed(2));  // any board: the first in slot order
        QVERIFY(GetUSBDevice(9, -1) == nullptr);
    }

    void sameIdTwiceGivesFirstInSlotOrder()
    {
        boards.plug(4, 3, "later");
        boards.plug(1, 3, "earlier");
        SimBoards::sync();
        KoUSBDevice device(GetUSBDevice(3, -1));
        QCOMPARE(QString::fromLatin1(device.GetName()), QStringLiteral("earlier"));
    }

    void noBoardsNoDevice()
    {
        QVERIFY(GetUSBDevice(-1, -1) == nullptr);
        for (int i = 0; i < GetMaxNumberOfUSBBoards(); ++i)
            QVERIFY(GetUSBDeviceIndexed(i) == nullptr);
    }

    void changeIsReportedOnce()
    {
        QVERIFY(!SimBoards::sync());
        boards.plug(0, 1, "a");
        QVERIFY(SimBoards::sync());
        QVERIFY(!SimBoards::sync());
        boards.unplug(0);
        QVERIFY(SimBoards::sync());
        QVERIFY(!SimBoards::sync());
    }

    void descriptorBecomesReadableOnPlug()
    {
        const int fd = GetDeviceChangeDescriptor();
        QVERIFY(fd >= 0);
        SimBoards::sync();
        pollfd p{fd, POLLIN, 0};
        QCOMPARE(poll(&p, 1, 0), 0);  // drained: nothing pending
        boards.plug(6, 1, "new");
        QCOMPARE(poll(&p, 1, 5000), 1);
        QVERIFY(SimBoards::sync());
        QCOMPARE(poll(&p, 1, 0), 0);
    }

    void replugInSameSlotIsNewBoard()
    {
        boards.plug(0, 1, "old");
        SimBoards::sync();
        void* oldHandle = GetUSBDeviceIndexed(0);
        boards.unplug(0);
        boards.plug(0, 2, "new");
        QVERIFY(SimBoards::sync());
        void* newHandle = GetUSBDeviceIndexed(0);
        QVERIFY(newHandle != nullptr);
        QVERIFY(newHandle != oldHandle);
        KoUSBDevice stale(oldHandle);
        QCOMPARE(stale.GetId(), 0);
        KoUSBDevice fresh(newHandle);
        QCOMPARE(fresh.GetId(), 2);
    }

    void staleHandleFailsHarmlessly()
    {
        boards.plug(0, 9, "going");
        SimBoards::sync();
        KoUSBDevice device(GetUSBDeviceIndexed(0));
        QCOMPARE(device.GetId(), 9);
        boards.unplug(0);
        // Before the library has noticed, the board itself sees its file gone.
        QVERIFY(!device.WriteIDToEEPROM(5));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_UNPLUGGED));
        QVERIFY(!QFile::exists(QString::fromStdString(boards.path(0))));  // not brought back by the write
        SimBoards::sync();
        QCOMPARE(device.GetId(), 0);
        QCOMPARE(QByteArray(device.GetName()), QByteArray());
        QCOMPARE(QByteArray(device.GetEndpointInfo()), QByteArray());
        unsigned char buffer[16];
        std::memset(buffer, 0xAB, sizeof buffer);
        QVERIFY(!device.ReadExternal(0, buffer, 16));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_UNPLUGGED));
        QCOMPARE(buffer[0], 0xAB);
    }

    void nullBoundObjectRefusesEverything()
    {
        boards.plug(0, 1, "present");
        SimBoards::sync();
        KoUSBDevice device(nullptr);
        unsigned char buffer[16];
        std::memset(buffer, 0x5A, sizeof buffer);
        QVERIFY(!device.ReadExternal(0, buffer, 16));
        QVERIFY(!device.WriteExternal(0, buffer, 16));
        QVERIFY(!device.ReadXilinx(0, buffer, 16));
        QVERIFY(!device.Read8051(0, buffer, 16));
        QVERIFY(!device.ReadI2C(0, buffer, 16));
        QVERIFY(!device.ReadSPI(0, buffer, 16));
        QVERIFY(!device.ReadSerial(buffer, 16));
        QVERIFY(!device.WriteCommand(buffer, 16));
        QVERIFY(!device.ReadInterrupt(buffer));
        QVERIFY(!device.WriteInterrupt(buffer));
        QVERIFY(!device.ReadBlock(buffer, 16));
        QVERIFY(!device.WriteBlock(buffer, 16));
        QVERIFY(!device.DownloadXilinx("/tmp/x.bit"));
        QVERIFY(!device.LoadFirmwareFromFile("/tmp/x.bix"));
        QVERIFY(!device.LoadHexFileToEeprom("/tmp/x.hex"));
        QVERIFY(!device.WriteIDToEEPROM(1));
        QVERIFY(!device.WriteNameToEEPROM("x"));
        QVERIFY(!device.WriteDeviceClassToEEPROM(1));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_NO_BOARD));
        for (unsigned char b : buffer)
            QCOMPARE(b, 0x5A);
        QCOMPARE(device.GetId(), 0);
        QCOMPARE(QByteArray(device.GetName()), QByteArray());
        // Unbinding a bound object works the same way.
        KoUSBDevice bound(GetUSBDeviceIndexed(0));
        bound.SetDeviceHandle(nullptr);
        QVERIFY(!bound.WriteIDToEEPROM(3));
        KoUSBDevice check(GetUSBDeviceIndexed(0));
        QCOMPARE(check.GetId(), 1);
    }

    void negativeLengthIsRefused()
    {
        boards.plug(0, 1, "present");
        SimBoards::sync();
        KoUSBDevice device(GetUSBDeviceIndexed(0));
        unsigned char buffer[4] = {1, 2, 3, 4};
        QVERIFY(!device.ReadExternal(0, buffer, -1));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_BAD_ARGUMENT));
        QVERIFY(!device.ReadBlock(buffer, -100));
        QCOMPARE(buffer[0], 1);
        QCOMPARE(buffer[3], 4);
    }

    void identityWritesPersistInTheBoardFile()
    {
        boards.plug(0, 1, "before");
        SimBoards::sync();
        KoUSBDevice device(GetUSBDeviceIndexed(0));
        QVERIFY(device.WriteIDToEEPROM(-77));
        QVERIFY(device.WriteNameToEEPROM("after"));
        QVERIFY(device.WriteDeviceClassToEEPROM(200));
        QCOMPARE(device.GetId(), -77);
        QCOMPARE(device.GetClass(), 200);
        const auto identity = kousb::eeprom::readIdentity(boards.read(0).eeprom);
        QCOMPARE(identity.id, -77);
        QCOMPARE(QString::fromStdString(identity.name), QStringLiteral("after"));
        QCOMPARE(int(identity.deviceClass), 200);
        // A name too long for the EEPROM's field is refused and changes nothing.
        QVERIFY(!device.WriteNameToEEPROM(std::string(32, 'x').c_str()));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_ERROR_BAD_ARGUMENT));
        QCOMPARE(QByteArray(device.GetName()), QByteArray("after"));
        QVERIFY(device.WriteNameToEEPROM(std::string(31, 'y').c_str()));
        QCOMPARE(QByteArray(device.GetName()), QByteArray(31, 'y'));
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_SUCCESS));
    }

    void corruptFilesAreSkipped()
    {
        boards.plug(0, 1, "good");
        boards.writeRaw("slot-01.board", "this is not a board\n");
        boards.writeRaw("slot-02.board", "kousb-sim-board 1\ninstance abc\nslot 2\neeprom 3ff8 00112233445566778899\n");
        boards.writeRaw("slot-03.board", "kousb-sim-board 1\ninstance abc\nslot 4\n");  // names another slot
        boards.writeRaw("notes.txt", "ignored");
        boards.plug(5, 5, "also good");
        QVERIFY(SimBoards::sync());
        QVERIFY(GetUSBDeviceIndexed(0) != nullptr);
        QVERIFY(GetUSBDeviceIndexed(1) == nullptr);
        QVERIFY(GetUSBDeviceIndexed(2) == nullptr);
        QVERIFY(GetUSBDeviceIndexed(3) == nullptr);
        QVERIFY(GetUSBDeviceIndexed(5) != nullptr);
    }

    void endpointInfoDescribesBoard()
    {
        SimBoards::Options options;
        options.rate = 12.5;
        boards.plug(0, options);
        SimBoards::sync();
        KoUSBDevice device(GetUSBDeviceIndexed(0));
        const QString info = QString::fromLatin1(device.GetEndpointInfo());
        QVERIFY(info.contains("bulk"));
        QVERIFY(info.contains("max packet 512"));
        QVERIFY(info.contains("12.5 Mbyte/s"));
        QVERIFY(info.contains("FPGA 3s500e: configured with test.ncd"));
    }
};

QTEST_GUILESS_MAIN(TestEnumeration)
#include "tst_enumeration.moc"
