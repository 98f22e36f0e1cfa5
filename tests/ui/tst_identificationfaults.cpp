// SPDX-License-Identifier: MIT
// The "Identification" page against a recording board: the exact writes, in
// order, and how failed writes are reported.
#include "mainform.h"
#include "recordingboard.h"

#include <QStatusBar>
#include <QtTest>

class TestIdentificationFaults : public QObject {
    Q_OBJECT

    std::shared_ptr<RecordingBoard> board = installRecordingBoard(0);

    static QString status(MainForm& form) { return form.statusbar->currentMessage(); }

    // As if typed: the fields count as edited, so that re-reading the board
    // when the window is shown leaves them alone.
    static void fill(MainForm& form, const QString& id, const QString& name, const QString& deviceClass)
    {
        form.IdLineEdit->setText(id);
        form.nameLineEdit->setText(name);
        form.classLineEdit->setText(deviceClass);
        for (QLineEdit* field : {form.IdLineEdit, form.nameLineEdit, form.classLineEdit})
            field->setModified(true);
    }

    static void pressUpdate(MainForm& form)
    {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.deviceTab->setCurrentWidget(form.miscTab);
        QTest::mouseClick(form.updateIdBtn, Qt::LeftButton);
    }

    std::vector<std::string> ops() const
    {
        std::vector<std::string> names;
        for (const RecordedCall& call : board->calls())
            names.push_back(call.op);
        return names;
    }

    const std::vector<std::string> kAllThree{"writeId", "writeName", "writeClass"};

private slots:
    void init()
    {
        for (const char* op : {"writeId", "writeName", "writeClass"})
            board->setResult(op, kousb::Status::ok());
        board->setIdentity({42, "Recording board", 7, 9});
        board->clearCalls();
    }

    void exactValuesInOrder()
    {
        MainForm form;
        board->clearCalls();
        fill(form, "-0005", QString::fromUtf8("Zoë ÿ"), "0255");
        pressUpdate(form);
        const std::vector<RecordedCall> calls = board->calls();
        QCOMPARE(ops(), kAllThree);
        QCOMPARE(calls[0].value, -5LL);
        QCOMPARE(calls[1].text, std::string("Zo\xEB \xFF"));
        QCOMPARE(calls[2].value, 255LL);
    }

    void emptyNameIsWrittenEmpty()
    {
        MainForm form;
        board->clearCalls();
        fill(form, "1", "", "1");
        pressUpdate(form);
        QCOMPARE(ops(), kAllThree);
        QCOMPARE(board->calls()[1].text, std::string());
    }

    void oneFailedWriteIsReportedAndTheRestStillRun()
    {
        MainForm form;
        board->clearCalls();
        board->setResult("writeName", kousb::Status::error(kousb::ErrorCode::Io, "EEPROM did not answer"));
        // What the board reports after the writes, to see the list rebuilt.
        board->setIdentity({5, "Reported", 6, 9});
        fill(form, "5", "Typed", "6");
        pressUpdate(form);
        QCOMPARE(ops(), kAllThree);
        QCOMPARE(board->calls()[2].value, 6LL);
        QCOMPARE(status(form), QStringLiteral("Name not written: transfer failed: EEPROM did not answer."));
        QTreeWidgetItem* item = form.devListTree->topLevelItem(0);
        QVERIFY(item);
        QCOMPARE(item->text(1), QStringLiteral("Reported"));
        QCOMPARE(form.nameLineEdit->text(), QStringLiteral("Typed"));
    }

    void failuresAreGroupedByReason()
    {
        MainForm form;
        board->clearCalls();
        board->setResult("writeId", kousb::Status::error(kousb::ErrorCode::Timeout));
        board->setResult("writeName", kousb::Status::error(kousb::ErrorCode::Io));
        board->setResult("writeClass", kousb::Status::error(kousb::ErrorCode::Timeout));
        fill(form, "1", "x", "1");
        pressUpdate(form);
        QCOMPARE(ops(), kAllThree);
        QCOMPARE(status(form),
                 QStringLiteral("ID and class not written: timed out; name not written: transfer failed."));

        board->setResult("writeId", kousb::Status::ok());
        board->setResult("writeName", kousb::Status::error(kousb::ErrorCode::Timeout));
        pressUpdate(form);
        QCOMPARE(status(form), QStringLiteral("Name and class not written: timed out."));
    }

    void refusedInputCallsNothing_data()
    {
        // clang-format off
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("deviceClass");
        QTest::newRow("bad ID") << "12abc" << "n" << "1";
        QTest::newRow("bad name") << "1" << QString(32, 'n') << "1";
        QTest::newRow("bad class") << "1" << "n" << "300";
        // clang-format on
    }
    void refusedInputCallsNothing()
    {
        QFETCH(QString, id);
        QFETCH(QString, name);
        QFETCH(QString, deviceClass);
        MainForm form;
        board->clearCalls();
        fill(form, id, name, deviceClass);
        pressUpdate(form);
        QVERIFY(board->calls().empty());
        QVERIFY(status(form).startsWith("Identity not written: "));
    }
};

QTEST_MAIN(TestIdentificationFaults)
#include "tst_identificationfaults.moc"
