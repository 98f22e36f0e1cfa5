// SPDX-License-Identifier: MIT
// The "IO Tests" page driven through its widgets against the recording test
// double: the exact call per IO mode, the address cut to the call's width,
// the bytes and the length, and what the page shows afterwards.
#include "KoUSBLib.h"
#include "iopage.h"
#include "mainform.h"
#include "recordingboard.h"
#include "simboards.h"

#include <QStatusBar>
#include <QtTest>

#include <memory>

using kousb::ErrorCode;
using kousb::Status;

namespace {

const char* const kAllOps[] = {"readExternal", "writeExternal", "readXilinx",   "writeXilinx",   "read8051",
                               "write8051",    "readI2C",       "writeI2C",     "readSPI",       "writeSPI",
                               "readSerial",   "writeSerial",   "writeCommand", "readInterrupt", "writeInterrupt",
                               "readBlock",    "writeBlock"};

QByteArray bytesOf(const std::vector<std::uint8_t>& v)
{
    return QByteArray(reinterpret_cast<const char*>(v.data()), int(v.size()));
}

}  // namespace

class TestIoTests : public QObject {
    Q_OBJECT

    SimBoards noSimBoards;  // an empty folder: only the recording board is attached
    std::shared_ptr<RecordingBoard> board;
    std::unique_ptr<MainForm> form;

    std::unique_ptr<IoPage> page;

    void setMode(const QString& mode) { QVERIFY2(page->setMode(mode), qPrintable(mode)); }
    void type(QLineEdit* line, const QString& text)
    {
        page->type(line, text);
        QCOMPARE(line->text(), text);
    }
    void setHex(bool on)
    {
        page->setHex(on);
        QCOMPARE(form->hexCheckBox->isChecked(), on);
    }
    void clickWrite() { page->clickWrite(); }
    void clickRead() { page->clickRead(); }
    QString status() const { return page->status(); }

    // The one call the last click made.
    RecordedCall onlyCall()
    {
        const auto calls = board->calls();
        if (calls.size() != 1) {
            QTest::qFail(qPrintable(QStringLiteral("expected one call, got %1").arg(calls.size())), __FILE__, __LINE__);
            return {};
        }
        return calls.front();
    }

    void enableExpertMode()
    {
        if (form->modeComboBox->findText("EEPROM") < 0)
            form->actionExpertMode->trigger();
        QVERIFY(form->modeComboBox->findText("EEPROM") >= 0);
    }

private slots:
    void initTestCase() { board = installRecordingBoard(0); }

    void init()
    {
        for (const char* op : kAllOps)
            board->setResult(op, Status::ok());
        board->setReadPattern({1, 18, 255});
        form = std::make_unique<MainForm>();
        page = std::make_unique<IoPage>(*form);
        QVERIFY(page->open());
        QCOMPARE(status(), QStringLiteral("Current device: Recording board with ID 42"));
        board->clearCalls();
    }

    void cleanup()
    {
        page.reset();
        form.reset();
    }

    void startsEmpty()
    {
        QCOMPARE(form->modeComboBox->currentText(), QStringLiteral("External"));
        QCOMPARE(form->addLine->text(), QStringLiteral("0"));
        QCOMPARE(form->sizeLine->text(), QStringLiteral("1"));
        QVERIFY(!form->hexCheckBox->isChecked());
        QVERIFY(form->writeDataLine->text().isEmpty());
        QVERIFY(form->readDataLine->text().isEmpty());
    }

    // --- writes: one call per mode, address cut to the call's width -------

    void writeCallPerMode_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("op");
        QTest::addColumn<long long>("calledAddress");
        QTest::addColumn<int>("length");

        // 70000 = 0x11170: low 16 bits 0x1170 = 4464, low 8 bits 0x70 = 112.
        QTest::newRow("External") << "External"
                                  << "70000"
                                  << "writeExternal" << 4464LL << 3;
        QTest::newRow("FPGA") << "FPGA"
                              << "70000"
                              << "writeXilinx" << 4464LL << 3;
        QTest::newRow("Block") << "Block"
                               << "70000"
                               << "writeBlock" << -1LL << 3;
        QTest::newRow("I2C") << "I2C"
                             << "70000"
                             << "writeI2C" << 112LL << 3;
        QTest::newRow("Command") << "Command"
                                 << "70000"
                                 << "writeCommand" << -1LL << 3;
        QTest::newRow("Controller") << "Controller"
                                    << "70000"
                                    << "write8051" << 4464LL << 3;
        QTest::newRow("Interrupt: the whole 16-byte buffer") << "Interrupt"
                                                             << "70000"
                                                             << "writeInterrupt" << -1LL << 16;
        QTest::newRow("SPI: int unchanged") << "SPI"
                                            << "70000"
                                            << "writeSPI" << 70000LL << 3;
        QTest::newRow("UART") << "UART"
                              << "70000"
                              << "writeSerial" << -1LL << 3;
        // -1 cut: 0xFFFF and 0xFF; the int stays -1.
        QTest::newRow("External -1") << "External"
                                     << "-1"
                                     << "writeExternal" << 65535LL << 3;
        QTest::newRow("I2C -1") << "I2C"
                                << "-1"
                                << "writeI2C" << 255LL << 3;
        QTest::newRow("Controller -1") << "Controller"
                                       << "-1"
                                       << "write8051" << 65535LL << 3;
        QTest::newRow("SPI -1") << "SPI"
                                << "-1"
                                << "writeSPI" << -1LL << 3;
        QTest::newRow("External 65536 wraps to 0") << "External"
                                                   << "65536"
                                                   << "writeExternal" << 0LL << 3;
        QTest::newRow("I2C 337 is 0x51") << "I2C"
                                         << "337"
                                         << "writeI2C" << 0x51LL << 3;
        QTest::newRow("not decimal: 0") << "FPGA"
                                        << "0x10"
                                        << "writeXilinx" << 0LL << 3;
        QTest::newRow("empty address: 0") << "SPI"
                                          << ""
                                          << "writeSPI" << 0LL << 3;
    }

    void writeCallPerMode()
    {
        QFETCH(QString, mode);
        QFETCH(QString, address);
        QFETCH(QString, op);
        QFETCH(long long, calledAddress);
        QFETCH(int, length);
        setMode(mode);
        type(form->addLine, address);
        type(form->writeDataLine, "1 2 3");
        form->statusbar->showMessage("before");
        clickWrite();
        const RecordedCall call = onlyCall();
        QCOMPARE(QString::fromStdString(call.op), op);
        QCOMPARE(call.address, calledAddress);
        QCOMPARE(int(call.length), length);
        QByteArray expected("\x01\x02\x03", 3);
        expected += QByteArray(length - expected.size(), '\0');  // interrupt write: zeroed beyond the values
        QCOMPARE(bytesOf(call.data), expected);
        QCOMPARE(form->sizeLine->text(), QStringLiteral("3"));
        QCOMPARE(status(), QStringLiteral("before"));  // success: no message
        QVERIFY(form->readDataLine->text().isEmpty());
    }

    void addressZeroAlsoWithHex()
    {
        setMode("External");
        setHex(true);
        type(form->addLine, "0x10");
        type(form->writeDataLine, "ff");
        clickWrite();
        const RecordedCall call = onlyCall();
        QCOMPARE(call.address, 0LL);
        QCOMPARE(bytesOf(call.data), QByteArray("\xff", 1));
        board->clearCalls();
        type(form->addLine, "10");  // decimal whatever the check box says
        clickWrite();
        QCOMPARE(onlyCall().address, 10LL);
    }

    // --- writes: the values read from the line --------

    void writeValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QByteArray>("sent");

        QTest::newRow("1 2 3") << "1 2 3" << false << QByteArray("\x01\x02\x03", 3);
        QTest::newRow("hex ff 10 0x7F") << "ff 10 0x7F" << true << QByteArray("\xff\x10\x7f", 3);
        QTest::newRow("decimal ff: none, the call is still made") << "ff" << false << QByteArray();
        QTest::newRow("12 abc 14") << "12 abc 14" << false << QByteArray("\x0c", 1);
        QTest::newRow("300 and -2") << "300 -2" << false << QByteArray("\x2c\xfe", 2);
        QTest::newRow("010 decimal") << "010" << false << QByteArray("\x0a", 1);
        QTest::newRow("010 hex") << "010" << true << QByteArray("\x10", 1);
        QTest::newRow("spaces around 5") << " 5 " << false << QByteArray("\x05", 1);
        QTest::newRow("empty") << "" << false << QByteArray();
        QString twenty;
        QByteArray sixteen;
        for (int i = 1; i <= 20; ++i) {
            twenty += QString::number(i) + " ";
            if (i <= 16)
                sixteen += char(i);
        }
        QTest::newRow("twenty values: first 16") << twenty << false << sixteen;
    }

    void writeValues()
    {
        QFETCH(QString, text);
        QFETCH(bool, hex);
        QFETCH(QByteArray, sent);
        setMode("Block");
        setHex(hex);
        type(form->sizeLine, "9");
        type(form->writeDataLine, text);
        clickWrite();
        const RecordedCall call = onlyCall();
        QCOMPARE(QString::fromStdString(call.op), QStringLiteral("writeBlock"));
        QCOMPARE(bytesOf(call.data), sent);
        QCOMPARE(int(call.length), sent.size());
        QCOMPARE(form->sizeLine->text(), QString::number(sent.size()));
        QCOMPARE(form->writeDataLine->text(), text);  // the line keeps what was typed
    }

    void eepromWriteMakesNoCallButSetsSize()
    {
        enableExpertMode();
        setMode("EEPROM");
        type(form->writeDataLine, "4 5 6 7");
        form->statusbar->showMessage("before");
        clickWrite();
        QVERIFY(board->calls().empty());
        QCOMPARE(form->sizeLine->text(), QStringLiteral("4"));
        QCOMPARE(status(), QStringLiteral("before"));
    }

    void failedWriteIsReported()
    {
        board->setResult("writeI2C", Status::error(ErrorCode::NoAcknowledge, "I2C address 0x50"));
        setMode("I2C");
        type(form->addLine, "80");
        type(form->writeDataLine, "1 2");
        form->readDataLine->setText("untouched");
        clickWrite();
        QCOMPARE(onlyCall().op, std::string("writeI2C"));
        QCOMPARE(status(), QStringLiteral("I2C write failed: no device answered: I2C address 0x50"));
        QCOMPARE(form->sizeLine->text(), QStringLiteral("2"));
        QCOMPARE(form->readDataLine->text(), QStringLiteral("untouched"));

        // A later success (Enter in the data line presses Write) replaces the
        // failure with a confirmation; one after that leaves the bar alone.
        board->setResult("writeI2C", Status::ok());
        QTest::keyClick(form->writeDataLine, Qt::Key_Return);
        QCOMPARE(board->calls().size(), std::size_t(2));
        QCOMPARE(status(), QStringLiteral("I2C: 2 bytes written"));
        form->statusbar->showMessage("other");
        clickWrite();
        QCOMPARE(status(), QStringLiteral("other"));
    }

    // --- reads ----------------------------------------------------------------

    void readCallPerMode_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("op");
        QTest::addColumn<long long>("calledAddress");
        QTest::addColumn<int>("length");

        // Address 70000 as above; size 3.
        QTest::newRow("External") << "External"
                                  << "readExternal" << 4464LL << 3;
        QTest::newRow("FPGA") << "FPGA"
                              << "readXilinx" << 4464LL << 3;
        QTest::newRow("Block") << "Block"
                               << "readBlock" << -1LL << 3;
        QTest::newRow("I2C") << "I2C"
                             << "readI2C" << 112LL << 3;
        QTest::newRow("Controller") << "Controller"
                                    << "read8051" << 4464LL << 3;
        QTest::newRow("Interrupt: buffer only") << "Interrupt"
                                                << "readInterrupt" << -1LL << 16;
        QTest::newRow("SPI") << "SPI"
                             << "readSPI" << 70000LL << 3;
        QTest::newRow("UART") << "UART"
                              << "readSerial" << -1LL << 3;
    }

    void readCallPerMode()
    {
        QFETCH(QString, mode);
        QFETCH(QString, op);
        QFETCH(long long, calledAddress);
        QFETCH(int, length);
        setMode(mode);
        type(form->addLine, "70000");
        type(form->sizeLine, "3");
        form->statusbar->showMessage("before");
        clickRead();
        const RecordedCall call = onlyCall();
        QCOMPARE(QString::fromStdString(call.op), op);
        QCOMPARE(call.address, calledAddress);
        QCOMPARE(int(call.length), length);
        QCOMPARE(form->readDataLine->text(), QStringLiteral("1 18 255 "));
        QCOMPARE(status(), QStringLiteral("before"));

        setHex(true);
        board->clearCalls();
        clickRead();
        QCOMPARE(onlyCall().op, op.toStdString());
        QCOMPARE(form->readDataLine->text(), QStringLiteral("1 12 ff "));
        QCOMPARE(form->sizeLine->text(), QStringLiteral("3"));
    }

    void readIsCappedAt16()
    {
        setMode("External");
        type(form->sizeLine, "20");
        clickRead();
        QCOMPARE(int(onlyCall().length), 16);
        QCOMPARE(form->readDataLine->text(), QStringLiteral("1 18 255 1 18 255 1 18 255 1 18 255 1 18 255 1 "));
        QCOMPARE(form->sizeLine->text(), QStringLiteral("20"));  // keeps the user's text
    }

    void interruptReadShowsSizeBytes()
    {
        board->setReadPattern(
            {0xa0, 0xa1, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xab, 0xac, 0xad, 0xae, 0xaf});
        setMode("Interrupt");
        setHex(true);
        type(form->sizeLine, "2");
        clickRead();
        QCOMPARE(onlyCall().op, std::string("readInterrupt"));
        QCOMPARE(form->readDataLine->text(), QStringLiteral("a0 a1 "));
        board->clearCalls();
        type(form->sizeLine, "30");
        clickRead();
        QCOMPARE(form->readDataLine->text(), QStringLiteral("a0 a1 a2 a3 a4 a5 a6 a7 a8 a9 aa ab ac ad ae af "));
    }

    void zeroOrEmptySizeReadsNothing_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("op");
        QTest::newRow("0, External") << "External"
                                     << "0"
                                     << "readExternal";
        QTest::newRow("empty, I2C") << "I2C"
                                    << ""
                                    << "readI2C";
        QTest::newRow("not a number, SPI") << "SPI"
                                           << "two"
                                           << "readSPI";
        QTest::newRow("negative, Controller") << "Controller"
                                              << "-5"
                                              << "read8051";
        QTest::newRow("negative, UART (never 65535 as unsigned short)") << "UART"
                                                                        << "-1"
                                                                        << "readSerial";
        QTest::newRow("negative, Block") << "Block"
                                         << "-16"
                                         << "readBlock";
        QTest::newRow("negative, FPGA") << "FPGA"
                                        << "-2147483648"
                                        << "readXilinx";
    }

    void zeroOrEmptySizeReadsNothing()
    {
        QFETCH(QString, mode);
        QFETCH(QString, size);
        QFETCH(QString, op);
        setMode(mode);
        type(form->sizeLine, size);
        form->readDataLine->setText("old");
        form->statusbar->showMessage("before");
        clickRead();
        const RecordedCall call = onlyCall();
        QCOMPARE(QString::fromStdString(call.op), op);
        QCOMPARE(int(call.length), 0);
        QVERIFY(form->readDataLine->text().isEmpty());
        QCOMPARE(status(), QStringLiteral("before"));
        QCOMPARE(form->sizeLine->text(), size);
    }

    void negativeSizeInterruptShowsNothing()
    {
        setMode("Interrupt");
        type(form->sizeLine, "-3");
        form->readDataLine->setText("old");
        clickRead();
        QCOMPARE(onlyCall().op, std::string("readInterrupt"));
        QVERIFY(form->readDataLine->text().isEmpty());
    }

    void failedReadEmptiesTheLineAndSaysWhy_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("op");
        QTest::newRow("External") << "External"
                                  << "readExternal";
        QTest::newRow("FPGA") << "FPGA"
                              << "readXilinx";
        QTest::newRow("Block") << "Block"
                               << "readBlock";
        QTest::newRow("I2C") << "I2C"
                             << "readI2C";
        QTest::newRow("Controller") << "Controller"
                                    << "read8051";
        QTest::newRow("Interrupt") << "Interrupt"
                                   << "readInterrupt";
        QTest::newRow("SPI") << "SPI"
                             << "readSPI";
        QTest::newRow("UART") << "UART"
                              << "readSerial";
    }

    void failedReadEmptiesTheLineAndSaysWhy()
    {
        QFETCH(QString, mode);
        QFETCH(QString, op);
        board->setResult(op.toStdString(), Status::error(ErrorCode::Io, "test fault"));
        setMode(mode);
        type(form->sizeLine, "2");
        form->readDataLine->setText("old bytes");
        clickRead();
        QCOMPARE(QString::fromStdString(onlyCall().op), op);
        QVERIFY(form->readDataLine->text().isEmpty());
        QCOMPARE(status(), mode + QStringLiteral(" read failed: transfer failed: test fault"));
    }

    void successfulReadReplacesAFailureMessage()
    {
        board->setResult("readExternal", Status::error(ErrorCode::Io, "test fault"));
        setMode("External");
        type(form->sizeLine, "3");
        clickRead();
        QCOMPARE(status(), QStringLiteral("External read failed: transfer failed: test fault"));
        board->setResult("readExternal", Status::ok());
        clickRead();
        QCOMPARE(form->readDataLine->text(), QStringLiteral("1 18 255 "));
        QCOMPARE(status(), QStringLiteral("External: 3 bytes read"));
    }

    void commandReadMakesNoCall()
    {
        setMode("Command");
        type(form->sizeLine, "4");
        form->readDataLine->setText("old");
        clickRead();
        QVERIFY(board->calls().empty());
        QVERIFY(form->readDataLine->text().isEmpty());
        QCOMPARE(status(), QStringLiteral("The \"Command\" mode cannot read."));
    }

    void eepromReadMakesNoCall()
    {
        enableExpertMode();
        setMode("EEPROM");
        form->readDataLine->setText("old");
        clickRead();
        QVERIFY(board->calls().empty());
        QVERIFY(form->readDataLine->text().isEmpty());
        QCOMPARE(status(), QStringLiteral("The \"EEPROM\" mode cannot read."));
    }

    void choosingAModeChangesNothing()
    {
        form->modeComboBox->setFocus();
        type(form->writeDataLine, "1 2");
        form->statusbar->showMessage("before");
        QSignalSpy activated(form->modeComboBox, SIGNAL(activated(QString)));
        QTest::keyClick(form->modeComboBox, Qt::Key_Down);
        QCOMPARE(activated.count(), 1);
        QCOMPARE(form->modeComboBox->currentText(), QStringLiteral("FPGA"));
        QVERIFY(board->calls().empty());
        QCOMPARE(form->sizeLine->text(), QStringLiteral("1"));
        QCOMPARE(form->writeDataLine->text(), QStringLiteral("1 2"));
        QVERIFY(form->readDataLine->text().isEmpty());
        QCOMPARE(status(), QStringLiteral("before"));
        // ...and the next write uses the new mode.
        clickWrite();
        QCOMPARE(onlyCall().op, std::string("writeXilinx"));
    }

    void noBoardFailsAndSaysSo()
    {
        form->updateCurrentDevice(-12345);  // no such board: unbound
        QCOMPARE(status(), QStringLiteral("No USB device found or selected."));
        setMode("SPI");
        type(form->writeDataLine, "1");
        clickWrite();
        QCOMPARE(status(), QStringLiteral("SPI write failed: no board selected"));
        form->readDataLine->setText("old");
        clickRead();
        QCOMPARE(status(), QStringLiteral("SPI read failed: no board selected"));
        QVERIFY(form->readDataLine->text().isEmpty());
        QVERIFY(board->calls().empty());
    }
};

QTEST_MAIN(TestIoTests)
#include "tst_iotests.moc"
