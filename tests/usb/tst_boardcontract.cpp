// SPDX-License-Identifier: MIT
// What every board promises, whatever is behind it: the same scenarios,
// through the library's interface, on a simulated board and on the real-board
// logic driving a board that runs our firmware's host-compiled core (the
// model the tests on the emulated USB bus use). A difference between the two
// is a fault of one of them. (The scenarios that change nothing a board keeps are
// in contractscenarios.h, which tst_hardware runs on a real board.)
#include "KoUSBLib.h"
#include "contractscenarios.h"
#include "faultymodel.h"
#include "firmwaremodel.h"
#include "modeltransport.h"
#include "firmwarefiles.h"
#include "simboards.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>
#include <vector>

using namespace firmwarefiles;

class TestBoardContract : public QObject {
    Q_OBJECT

    SimBoards m_sim;
    QTemporaryDir m_files;
    int m_nextRealSlot = 8;
    // The last real board plugged (each in a slot of its own).
    std::shared_ptr<FaultyModel> m_faults;
    int m_slot = -1;

    // Plugs a board of `kind` (ID 21, "Contract board", class 5) and binds
    // `device` to it. The EEPROM byte at `badCell`, if given, does not take
    // what is written to it.
    void plug(const QString& kind, KoUSBDevice& device, std::optional<std::size_t> badCell = std::nullopt)
    {
        if (kind == "simulated") {
            m_slot = 0;
            m_sim.plug(m_slot, SimBoards::Options{21, "Contract board", 5, 1, 24.0});
            if (badCell) {
                kousb::sim::BoardState state = m_sim.read(m_slot);
                state.eepromDropOffset = badCell;
                m_sim.writeRaw("slot-00.board", kousb::sim::formatBoardFile(state));
            }
            SimBoards::sync();
        } else {
            auto board = makeBoardModel(FirmwareModel::Starts::RunningFirmware);
            board->writeIdentity(21, "Contract board", 5);
            if (badCell)
                board->board().eeprom.dropOffset = std::int32_t(*badCell);
            m_faults = std::make_shared<FaultyModel>(board);
            m_slot = m_nextRealSlot++;
            installBoard(std::make_shared<ModelTransport>(m_faults), m_slot);
            OnDeviceChange();
        }
        device.SetDeviceHandle(GetUSBDeviceIndexed(m_slot));
    }
    void unplug(const QString& kind)
    {
        if (kind == "simulated")
            m_sim.unplug(m_slot);
        else
            m_faults->unplugAfter(0);
    }
    std::string file(const QString& name, const QByteArray& content)
    {
        return QFile::encodeName(writeFile(m_files.filePath(name), content)).toStdString();
    }
    static void addKinds()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("simulated") << "simulated";
        QTest::newRow("real board") << "real";
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        QVERIFY(InitUSB());
    }
    void cleanup()
    {
        m_sim.unplugAll();
        SimBoards::sync();
    }

    void identityAndEveryIoMode_data() { addKinds(); }
    void identityAndEveryIoMode()
    {
        QFETCH(QString, kind);
        KoUSBDevice d(nullptr);
        plug(kind, d);
        QCOMPARE(d.GetId(), 21);
        QCOMPARE(QString(d.GetName()), QStringLiteral("Contract board"));
        QCOMPARE(d.GetClass(), 5);

        contract::everyIoMode(d, writeFile(m_files.filePath("design.bit"), bitFile()), true, kind == "simulated");
    }

    void firmwareFiles_data() { addKinds(); }
    void firmwareFiles()
    {
        QFETCH(QString, kind);
        KoUSBDevice d(nullptr);
        plug(kind, d);
        contract::firmwareRefused(d, m_files.path());
        if (QTest::currentTestFailed())
            return;

        QByteArray image(300, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i * 3 + 1);
        QVERIFY2(d.LoadFirmwareFromFile(file("fw.bix", image).c_str()), d.GetLastError());
        unsigned char back[300] = {};
        QVERIFY2(d.Read8051(0, back, 300), d.GetLastError());
        QCOMPARE(QByteArray(reinterpret_cast<char*>(back), 300), image);
        QCOMPARE(d.GetId(), 21);
    }

    void eepromFlash_data() { addKinds(); }
    void eepromFlash()
    {
        QFETCH(QString, kind);
        KoUSBDevice d(nullptr);
        plug(kind, d, 0x0840);
        contract::eepromReflash(d, m_files.path(), 0x400, 256);
        if (QTest::currentTestFailed())
            return;
        const QByteArray data = QByteArray("\xC0\x01\x02\x03", 4).repeated(40);  // 160 bytes over three pages
        QVERIFY2(d.LoadHexFileToEeprom(file("e.hex", intelHex({{0x420, data}})).c_str()), d.GetLastError());
        unsigned char back[160] = {};
        QVERIFY2(d.ReadEEPROM(0x420, back, 160), d.GetLastError());
        QCOMPARE(QByteArray(reinterpret_cast<char*>(back), 160), data);

        const std::string other = file("f.hex", intelHex({{0x840, QByteArray(64, '\x5A')}}));
        QVERIFY(!d.LoadHexFileToEeprom(other.c_str()));
        QVERIFY2(QString(d.GetLastError())
                     .contains(QRegularExpression("^verification failed: the EEPROM reads 0x[0-9A-F]{2} at offset "
                                                  "0x0840, the image has 0x5A$")),
                 d.GetLastError());
    }

    void unplugged_data() { addKinds(); }
    void unplugged()
    {
        QFETCH(QString, kind);
        KoUSBDevice d(nullptr);
        plug(kind, d);
        unsigned char b[16] = {};
        unplug(kind);
        QVERIFY(!d.ReadExternal(0, b, 16));
        QCOMPARE(d.GetLastErrorCode(), int(KOUSB_ERROR_UNPLUGGED));
        OnDeviceChange();
        QVERIFY(GetUSBDeviceIndexed(m_slot) == nullptr);
        QCOMPARE(d.GetId(), 0);
        QVERIFY(!d.LoadHexFileToEeprom(file("u.hex", intelHex({{0, "\x01"}})).c_str()));
        QCOMPARE(d.GetLastErrorCode(), int(KOUSB_ERROR_UNPLUGGED));
    }
};

QTEST_GUILESS_MAIN(TestBoardContract)
#include "tst_boardcontract.moc"
