// SPDX-License-Identifier: MIT
// The library's error codes: every code's fixed value, name and text, and,
// for the codes no other test meets, the fault that leaves it in
// GetLastErrorCode(), met through the public interface.
#include "KoUSBLib.h"
#include "firmwarefiles.h"
#include "firmwaremodel.h"
#include "modeltransport.h"
#include "sim/simdirectory.h"
#include "simboards.h"

#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <map>

// A spelled enumerator, its value and its name, so a test row cannot give
// the one without the other.
#define CODE_ROW(code) QTest::newRow(#code) << int(code) << QStringLiteral(#code)

class TestErrorCodes : public QObject {
    Q_OBJECT

    SimBoards m_boards;
    QTemporaryDir m_files;

    std::string file(const QString& name, const QByteArray& content)
    {
        return QFile::encodeName(firmwarefiles::writeFile(m_files.filePath(name), content)).toStdString();
    }

    // The call that meets each code's fault, made on `d`, bound to the
    // simulated board of ID 1 unless the fault binds it to another.
    std::map<int, std::function<bool(KoUSBDevice&)>> faults()
    {
        return {
            {KOUSB_ERROR_NOT_SUPPORTED,
             [](KoUSBDevice& d) {
                 // Our firmware serving I2C only, on the real-board logic:
                 // the EEPROM is there but cannot be read back.
                 installBoard(
                     std::make_shared<ModelTransport>(std::make_shared<FirmwareModel>(
                         FirmwareModel::Starts::RunningFirmware, fwmodel::Profile{"I2C only", KOUSB_CAP_I2C, ""})),
                     20);
                 OnDeviceChange();
                 d.SetDeviceHandle(GetUSBDeviceIndexed(20));
                 return d.GetEEPROMSize() > 0;
             }},
            {KOUSB_ERROR_VERIFY_FAILED,
             [this](KoUSBDevice& d) {
                 const auto image = file("drop.hex", firmwarefiles::intelHex({{0x0400, QByteArray(0x80, '\x5A')}}));
                 return d.LoadHexFileToEeprom(image.c_str());
             }},
            {KOUSB_ERROR_FILE_UNREADABLE,
             [this](KoUSBDevice& d) { return d.DownloadXilinx(qPrintable(m_files.path())); }},
            {KOUSB_ERROR_FILE_UNWRITABLE,
             [this](KoUSBDevice& d) {
                 const auto image = file("image.hex", firmwarefiles::intelHex({{0x0100, "\x01"}}));
                 return d.LoadHexFileToEepromWithBackup(image.c_str(), "/nonexistent/backup.hex", 0, nullptr, nullptr);
             }},
        };
    }

private slots:
    // The board of ID 1 meets the faults (its EEPROM drops the page written
    // at 0x0450); the one of ID 2 stays sound.
    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        QVERIFY(InitUSB());
        m_boards.plug(0, 1, "Error board");
        kousb::sim::BoardState state = m_boards.read(0);
        state.eepromDropOffset = 0x0450;
        m_boards.writeRaw(kousb::sim::boardFileName(0), kousb::sim::formatBoardFile(state));
        m_boards.plug(1, 2, "Sound board");
        SimBoards::sync();
    }

    // The values are fixed for good; the names are the enumerators' own.
    void codes_data()
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
    // Where the code has a fault here: the code names it, the text begins
    // with the code's own words, and the next call that succeeds clears both.
    void codes()
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

        const auto fault = faults();
        if (!fault.count(code))
            return;
        KoUSBDevice device(GetUSBDevice(1, -1));
        QVERIFY(!fault.at(code)(device));
        QCOMPARE(device.GetLastErrorCode(), code);
        QVERIFY2(QString(device.GetLastError()).startsWith(text), device.GetLastError());
        device.SetDeviceHandle(GetUSBDevice(2, -1));
        unsigned char byte = 0;
        QVERIFY2(device.ReadExternal(0, &byte, 1), device.GetLastError());
        QCOMPARE(device.GetLastErrorCode(), int(KOUSB_SUCCESS));
        QCOMPARE(QString(device.GetLastError()), QString());
    }
};

QTEST_GUILESS_MAIN(TestErrorCodes)
#include "tst_errorcodes.moc"
