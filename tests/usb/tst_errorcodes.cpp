// SPDX-License-Identifier: MIT
// The library's error codes: the table of names and texts, and the code each
// main fault leaves in GetLastErrorCode(), through the public interface on
// simulated boards and on the real-board logic (a board running our
// firmware's core, with the faults a firmware cannot show around it).
#include "KoUSBLib.h"
#include "faultymodel.h"
#include "firmwarefiles.h"
#include "firmwaremodel.h"
#include "modeltransport.h"
#include "simboards.h"

#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <map>

namespace {

// Our firmware serving I2C only.
const fwmodel::Profile kI2cOnly{"I2C only", KOUSB_CAP_I2C, ""};

// A spelled enumerator, its value and its name, so a test row cannot give
// the one without the other.
#define CODE_ROW(code) QTest::newRow(#code) << int(code) << QStringLiteral(#code)

}  // namespace

class TestErrorCodes : public QObject {
    Q_OBJECT

    SimBoards m_boards;
    QTemporaryDir m_files;
    int m_nextRealSlot = 20;  // above the simulated board's slot

    // Binds `device` to the real-board logic on a new board running our
    // firmware (the FPGA board, or one of `profile`), with faults set by `script`.
    void plugReal(KoUSBDevice& device, const std::function<void(FaultyModel&, ModelTransport&)>& script = {},
                  const fwmodel::Profile& profile = fwmodel::kFpgaProfile)
    {
        auto faults = std::make_shared<FaultyModel>(
            std::make_shared<FirmwareModel>(FirmwareModel::Starts::RunningFirmware, profile));
        auto transport = std::make_shared<ModelTransport>(faults);
        if (script)
            script(*faults, *transport);
        const int slot = m_nextRealSlot++;
        installBoard(transport, slot);
        OnDeviceChange();
        device.SetDeviceHandle(GetUSBDeviceIndexed(slot));
    }
    std::string file(const QString& name, const QByteArray& content)
    {
        return QFile::encodeName(firmwarefiles::writeFile(m_files.filePath(name), content)).toStdString();
    }

    // Each fault: the call that meets it, made on `d`, bound to the simulated
    // board of ID 1 unless the fault binds it to something else.
    std::map<QString, std::function<bool(KoUSBDevice&)>> faults()
    {
        unsigned char b[64] = {};
        return {
            {"unbound",
             [=](KoUSBDevice& d) mutable {
                 d.SetDeviceHandle(nullptr);
                 return d.ReadBlock(b, 16);
             }},
            {"unplugged",
             [=](KoUSBDevice& d) mutable {
                 m_boards.unplug(0);
                 return d.WriteExternal(0, b, 1);
             }},
            {"no access",
             [=](KoUSBDevice& d) mutable {
                 plugReal(d, [](FaultyModel&, ModelTransport& t) { t.denyAccess(); });
                 return d.Read8051(0, b, 1);
             }},
            {"firmware without SPI",
             [=](KoUSBDevice& d) mutable {
                 plugReal(d, {}, kI2cOnly);
                 return d.ReadSPI(0, b, 1);
             }},
            {"no EEPROM read-back",
             [=](KoUSBDevice& d) mutable {
                 plugReal(d, {}, kI2cOnly);
                 return d.GetEEPROMSize() > 0;
             }},
            {"FPGA not configured",
             [=](KoUSBDevice& d) mutable {
                 plugReal(d);
                 return d.ReadXilinx(0, b, 1);
             }},
            {"nobody at 0x10", [=](KoUSBDevice& d) mutable { return d.ReadI2C(0x10, b, 1); }},
            {"negative length", [=](KoUSBDevice& d) mutable { return d.ReadExternal(0, b, -1); }},
            {"beyond the SPI flash", [=](KoUSBDevice& d) mutable { return d.ReadSPI(0x7FFFFFF0, b, 1); }},
            {"block read times out",
             [=](KoUSBDevice& d) mutable {
                 plugReal(d, [](FaultyModel& f, ModelTransport&) { f.silence(0x86); });
                 return d.ReadBlock(b, 16);
             }},
            {"block read stalls",
             [=](KoUSBDevice& d) mutable {
                 plugReal(d, [](FaultyModel& f, ModelTransport&) { f.haltEndpoint(0x86); });
                 return d.ReadBlock(b, 16);
             }},
            {"flash not kept",
             [=](KoUSBDevice& d) mutable {
                 // A board that drops an EEPROM page, plugged as such.
                 m_boards.plug(2, 3, "Dropping board");
                 kousb::sim::BoardState state = m_boards.read(2);
                 state.eepromDropOffset = 0x0450;
                 m_boards.writeRaw("slot-02.board", kousb::sim::formatBoardFile(state));
                 SimBoards::sync();
                 d.SetDeviceHandle(GetUSBDevice(3, -1));
                 const std::string image =
                     file("drop.hex", firmwarefiles::intelHex({{0x0400, QByteArray(0x80, '\x5A')}}));
                 return d.LoadHexFileToEeprom(image.c_str());
             }},
            {"no such file", [](KoUSBDevice& d) { return d.DownloadXilinx("/nonexistent/design.bit"); }},
            {"a folder", [=](KoUSBDevice& d) { return d.DownloadXilinx(qPrintable(m_files.path())); }},
            {"not a bit file",
             [=](KoUSBDevice& d) mutable {
                 return d.DownloadXilinx(file("junk.bit", "no configuration in here").c_str());
             }},
        };
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        QVERIFY(InitUSB());
    }
    // The board of ID 1 meets the faults; the one of ID 2 stays sound.
    void init()
    {
        m_boards.plug(0, 1, "Error board");
        m_boards.plug(1, 2, "Sound board");
        SimBoards::sync();
    }
    void cleanup()
    {
        m_boards.unplugAll();
        SimBoards::sync();
    }

    // The values are fixed for good; the names are the enumerators' own.
    void table_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("value");
        CODE_ROW(KOUSB_SUCCESS) << 0;
        CODE_ROW(KOUSB_ERROR_NO_BOARD) << -1;
        CODE_ROW(KOUSB_ERROR_UNPLUGGED) << -2;
        CODE_ROW(KOUSB_ERROR_ACCESS_DENIED) << -3;
        CODE_ROW(KOUSB_ERROR_NOT_SUPPORTED) << -4;
        CODE_ROW(KOUSB_ERROR_NOT_READY) << -5;
        CODE_ROW(KOUSB_ERROR_NO_ACKNOWLEDGE) << -6;
        CODE_ROW(KOUSB_ERROR_BAD_ARGUMENT) << -7;
        CODE_ROW(KOUSB_ERROR_OUT_OF_RANGE) << -8;
        CODE_ROW(KOUSB_ERROR_TIMEOUT) << -9;
        CODE_ROW(KOUSB_ERROR_TRANSFER_FAILED) << -10;
        CODE_ROW(KOUSB_ERROR_VERIFY_FAILED) << -11;
        CODE_ROW(KOUSB_ERROR_FILE_NOT_FOUND) << -12;
        CODE_ROW(KOUSB_ERROR_FILE_UNREADABLE) << -13;
        CODE_ROW(KOUSB_ERROR_FILE_UNWRITABLE) << -14;
        CODE_ROW(KOUSB_ERROR_BAD_FILE) << -15;
    }
    void table()
    {
        QFETCH(int, code);
        QFETCH(QString, name);
        QTEST(code, "value");
        QCOMPARE(QString(KoUSBErrorName(code)), name);
        // Every failure has words of its own; success has none.
        const QString text = KoUSBErrorText(code);
        QCOMPARE(text.isEmpty(), code == KOUSB_SUCCESS);
        static QSet<QString> names, texts;
        QVERIFY2(!names.contains(name) && !texts.contains(text), qPrintable(text));
        names.insert(name);
        texts.insert(text);
        // No other value answers to a code's name.
        for (const int other : {1, -16, -1000})
            QVERIFY(QString(KoUSBErrorName(other)) != name && QString(KoUSBErrorText(other)) != text);
    }

    void faultYieldsItsCode_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("code");
        QTest::newRow("unbound") << "unbound" << int(KOUSB_ERROR_NO_BOARD);
        QTest::newRow("unplugged") << "unplugged" << int(KOUSB_ERROR_UNPLUGGED);
        QTest::newRow("no access") << "no access" << int(KOUSB_ERROR_ACCESS_DENIED);
        QTest::newRow("no SPI") << "firmware without SPI" << int(KOUSB_ERROR_NOT_SUPPORTED);
        QTest::newRow("no EEPROM") << "no EEPROM read-back" << int(KOUSB_ERROR_NOT_SUPPORTED);
        QTest::newRow("FPGA") << "FPGA not configured" << int(KOUSB_ERROR_NOT_READY);
        QTest::newRow("I2C") << "nobody at 0x10" << int(KOUSB_ERROR_NO_ACKNOWLEDGE);
        QTest::newRow("length") << "negative length" << int(KOUSB_ERROR_BAD_ARGUMENT);
        QTest::newRow("SPI range") << "beyond the SPI flash" << int(KOUSB_ERROR_OUT_OF_RANGE);
        QTest::newRow("timeout") << "block read times out" << int(KOUSB_ERROR_TIMEOUT);
        QTest::newRow("stall") << "block read stalls" << int(KOUSB_ERROR_TRANSFER_FAILED);
        QTest::newRow("verify") << "flash not kept" << int(KOUSB_ERROR_VERIFY_FAILED);
        QTest::newRow("missing") << "no such file" << int(KOUSB_ERROR_FILE_NOT_FOUND);
        QTest::newRow("folder") << "a folder" << int(KOUSB_ERROR_FILE_UNREADABLE);
        QTest::newRow("content") << "not a bit file" << int(KOUSB_ERROR_BAD_FILE);
    }
    // The code names the fault, the text begins with the code's own words,
    // and the next call that succeeds clears both.
    void faultYieldsItsCode()
    {
        QFETCH(QString, fault);
        QFETCH(int, code);
        KoUSBDevice device(GetUSBDevice(1, -1));
        QVERIFY(!faults().at(fault)(device));
        QCOMPARE(device.GetLastErrorCode(), code);
        QVERIFY2(QString(device.GetLastError()).startsWith(KoUSBErrorText(code)), device.GetLastError());
        device.SetDeviceHandle(GetUSBDevice(2, -1));
        unsigned char byte = 0;
        QVERIFY2(device.ReadExternal(0, &byte, 1), device.GetLastError());
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_SUCCESS));
        QCOMPARE(QString(device.GetLastError()), QString());
    }
};

QTEST_GUILESS_MAIN(TestErrorCodes)
#include "tst_errorcodes.moc"
