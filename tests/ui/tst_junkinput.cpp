// SPDX-License-Identifier: MIT
// Junk typed into every field of every page: negative, huge, non-Latin-1,
// empty and very long text. Each is refused or handled as the page says, and
// nothing reaches the board that should not.
#include "mainform.h"
#include "recordingboard.h"
#include "simboards.h"

#include <QStatusBar>
#include <QtTest>

class TestJunkInput : public QObject {
    Q_OBJECT

    SimBoards boards;  // empty: the recording board is the only board
    std::shared_ptr<RecordingBoard> board = installRecordingBoard(0);

    static QString status(MainForm& form) { return form.statusbar->currentMessage(); }

    void choose(MainForm& form, const QString& mode)
    {
        if (form.modeComboBox->findText(mode) < 0)
            form.actionExpertMode->trigger();
        form.modeComboBox->setCurrentText(mode);
        QCOMPARE(form.modeComboBox->currentText(), mode);
    }

private slots:
    void init() { board->clearCalls(); }

    void ioFields_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("size");
        const QString longText = QString("7 ").repeated(50000);
        QTest::newRow("very long data") << "External" << longText << "0"
                                        << "16";
        QTest::newRow("non-Latin-1 data") << "I2C" << QString::fromUtf8("Ωμέγα 1 2") << "81"
                                          << "2";
        QTest::newRow("huge values") << "SPI"
                                     << "99999999999999999999 1"
                                     << "2147483647"
                                     << "3";
        QTest::newRow("huge address") << "External"
                                      << "1"
                                      << "999999999999999999999"
                                      << "1";
        QTest::newRow("negative address") << "Controller"
                                          << "1"
                                          << "-1"
                                          << "1";
        QTest::newRow("negative size") << "UART"
                                       << "1"
                                       << "0"
                                       << "-7";
        QTest::newRow("huge size") << "FPGA"
                                   << "1"
                                   << "0"
                                   << "99999999999";
        QTest::newRow("empty everything") << "Block"
                                          << ""
                                          << ""
                                          << "";
        QTest::newRow("long address text") << "External"
                                           << "5" << QString(5000, '9') << "1";
    }

    void ioFields()
    {
        QFETCH(QString, mode);
        QFETCH(QString, data);
        QFETCH(QString, address);
        QFETCH(QString, size);
        MainForm form;
        choose(form, mode);
        form.writeDataLine->setText(data);
        form.addLine->setText(address);
        QTest::mouseClick(form.writeBtn, Qt::LeftButton);
        form.sizeLine->setText(size);
        QTest::mouseClick(form.readBtn, Qt::LeftButton);

        const std::vector<RecordedCall> calls = board->calls();
        QCOMPARE(calls.size(), std::size_t(2));
        for (const RecordedCall& call : calls) {
            QVERIFY2(call.length <= 16, call.op.c_str());
            QVERIFY(call.data.size() <= 16);
        }
        // The address is a decimal int or nothing: text that is none reads 0.
        bool isInt = false;
        const int typed = address.toInt(&isInt, 10);
        const long long expected = mode == "SPI" ? typed : (mode == "I2C" ? (typed & 0xFF) : (typed & 0xFFFF));
        if (calls.front().address >= 0)
            QCOMPARE(calls.front().address, isInt ? expected : 0LL);
        QVERIFY(form.readDataLine->text().size() <= 16 * 3);
    }

    void identityFields_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("deviceClass");
        QTest::addColumn<QString>("field");
        QTest::newRow("ID beyond 32 bits") << "99999999999"
                                           << "ok"
                                           << "1"
                                           << "ID";
        QTest::newRow("ID very long") << QString(5000, '1') << "ok"
                                      << "1"
                                      << "ID";
        QTest::newRow("ID not a number") << "0x10"
                                         << "ok"
                                         << "1"
                                         << "ID";
        QTest::newRow("ID empty") << ""
                                  << "ok"
                                  << "1"
                                  << "ID";
        QTest::newRow("class negative") << "1"
                                        << "ok"
                                        << "-1"
                                        << "class";
        QTest::newRow("class huge") << "1"
                                    << "ok"
                                    << "99999999999999"
                                    << "class";
        QTest::newRow("name not Latin-1") << "1" << QString::fromUtf8("Плата") << "1"
                                          << "name";
        QTest::newRow("name very long") << "1" << QString(20000, 'x') << "1"
                                        << "name";
        QTest::newRow("name one too long") << "1" << QString(32, 'x') << "1"
                                           << "name";
    }

    void identityFields()
    {
        QFETCH(QString, id);
        QFETCH(QString, name);
        QFETCH(QString, deviceClass);
        QFETCH(QString, field);
        MainForm form;
        form.IdLineEdit->setText(id);
        form.nameLineEdit->setText(name);
        form.classLineEdit->setText(deviceClass);
        QTest::mouseClick(form.updateIdBtn, Qt::LeftButton);
        QVERIFY(board->calls().empty());
        QVERIFY2(status(form).contains(field, Qt::CaseInsensitive), qPrintable(status(form)));
        QCOMPARE(form.nameLineEdit->text(), name);  // the typed text stays
    }

    void firmwarePaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("non-Latin-1") << QString::fromUtf8("/tmp/прошивка.bit");
        QTest::newRow("very long") << "/tmp/" + QString(10000, 'p') + ".bit";
        QTest::newRow("spaces only") << "   ";
    }

    void firmwarePaths()
    {
        QFETCH(QString, path);
        MainForm form;
        form.actionExpertMode->trigger();
        form.fpgaFileLineEdit->setText(path);
        form.controllerFileLineEdit->setText(path);
        QTest::mouseClick(form.loadFPGAButton, Qt::LeftButton);
        QTest::mouseClick(form.loadControllerBtn, Qt::LeftButton);
        // The path reaches the library exactly, in the file-name encoding.
        const std::vector<RecordedCall> calls = board->calls();
        QCOMPARE(calls.size(), std::size_t(2));
        QCOMPARE(QByteArray::fromStdString(calls[0].text), QFile::encodeName(path));
        QCOMPARE(QByteArray::fromStdString(calls[1].text), QFile::encodeName(path));
    }
};

QTEST_MAIN(TestJunkInput)
#include "tst_junkinput.moc"
