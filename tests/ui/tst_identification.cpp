// SPDX-License-Identifier: MIT
// The "Identification" page on simulated boards, through the window's widgets.
#include "eepromlayout.h"
#include "mainform.h"
#include "simboards.h"
#include "toolprocess.h"

#include <QDir>
#include <QFile>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestIdentification : public QObject {
    Q_OBJECT

    SimBoards boards;

    static QString status(MainForm& form) { return form.statusbar->currentMessage(); }

    static void showPage(MainForm& form)
    {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.deviceTab->setCurrentWidget(form.miscTab);
    }

    static void retype(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
        QCOMPARE(edit->text(), text);
    }

    static void fill(MainForm& form, const QString& id, const QString& name, const QString& deviceClass)
    {
        form.IdLineEdit->setText(id);
        form.nameLineEdit->setText(name);
        form.classLineEdit->setText(deviceClass);
    }

    static void pressUpdate(MainForm& form) { QTest::mouseClick(form.updateIdBtn, Qt::LeftButton); }

    static QStringList row(MainForm& form, int index)
    {
        QTreeWidgetItem* item = form.devListTree->topLevelItem(index);
        if (!item)
            return {};
        return {item->text(0), item->text(1), item->text(2), item->text(3)};
    }

    kousb::BoardIdentity identityInFile(int slot) const
    {
        return kousb::eeprom::readIdentity(boards.read(slot).eeprom);
    }
    std::string file(int slot) const { return kousb::sim::formatBoardFile(boards.read(slot)); }

private slots:
    void cleanup()
    {
        boards.unplugAll();
        SimBoards::sync();
    }

    void pageAsBuilt()
    {
        MainForm form;
        QCOMPARE(form.deviceTab->indexOf(form.miscTab), 1);
        QCOMPARE(form.deviceTab->tabText(1), QStringLiteral("Identification"));
        QVERIFY(form.miscTab->isEnabled());
        QCOMPARE(form.label->text(), QStringLiteral("ID"));
        QCOMPARE(form.label_2->text(), QStringLiteral("Name"));
        QCOMPARE(form.label_3->text(), QStringLiteral("Class"));
        QCOMPARE(form.updateIdBtn->text(), QStringLiteral("Update"));
        QCOMPARE(form.iconLabel->geometry(), QRect(30, 40, 31, 31));
        QVERIFY(!form.iconLabel->pixmap(Qt::ReturnByValue).isNull());
        QCOMPARE(form.label->geometry(), QRect(81, 22, 27, 20));
        QCOMPARE(form.IdLineEdit->geometry(), QRect(114, 22, 31, 20));
        QCOMPARE(form.label_2->geometry(), QRect(81, 49, 27, 20));
        QCOMPARE(form.nameLineEdit->geometry(), QRect(114, 49, 106, 20));
        QCOMPARE(form.label_3->geometry(), QRect(81, 76, 27, 20));
        QCOMPARE(form.classLineEdit->geometry(), QRect(114, 76, 31, 20));
        for (QLineEdit* edit : {form.IdLineEdit, form.nameLineEdit, form.classLineEdit}) {
            QVERIFY(!edit->validator());
            QVERIFY(edit->inputMask().isEmpty());
            QVERIFY(!edit->isReadOnly());
        }
        // Expert mode leaves the page alone.
        form.actionExpertMode->trigger();
        QVERIFY(form.miscTab->isEnabled());
    }

    // The board is one board for every process: a name set by kousb while
    // the window runs shows at the next click on the board's row.
    void anotherProcessesWriteShowsOnClick()
    {
        boards.plug(0, 1, "Before");
        MainForm form;
        showPage(form);
        const ToolResult r =
            runTool(QString::fromLocal8Bit(qgetenv("KOUSB_TOOL")), {"set-id", "--name", "Renamed by CLI"});
        QCOMPARE(r.exitCode, 0);
        QTest::mouseClick(form.devListTree->viewport(), Qt::LeftButton, {},
                          form.devListTree->visualItemRect(form.devListTree->topLevelItem(0)).center());
        QCOMPARE(form.nameLineEdit->text(), QStringLiteral("Renamed by CLI"));
        QCOMPARE(status(form), QStringLiteral("Current device: Renamed by CLI with ID 1"));
    }

    // Without a watch on the boards (real boards tell nothing), the window
    // reads the current board again when it becomes the active window.
    void anotherProcessesWriteShowsWhenTheWindowComesBack()
    {
        boards.plug(0, 1, "Before");
        MainForm form;
        showPage(form);
        QWidget terminal;  // where the user runs kousb
        terminal.show();
        terminal.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&terminal));
        const ToolResult r = runTool(QString::fromLocal8Bit(qgetenv("KOUSB_TOOL")),
                                     {"set-id", "--name", "Renamed by CLI", "--class", "4"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(form.nameLineEdit->text(), QStringLiteral("Before"));

        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTRY_COMPARE(form.nameLineEdit->text(), QStringLiteral("Renamed by CLI"));
        QCOMPARE(form.classLineEdit->text(), QStringLiteral("4"));
        QCOMPARE(row(form, 0), (QStringList{"1", "Renamed by CLI", "4", "1"}));
        QCOMPARE(status(form), QStringLiteral("Current device: Renamed by CLI with ID 1"));
    }

    void goodUpdateWritesTheBoardAndRebuildsTheList()
    {
        SimBoards::Options other;
        other.id = 50;
        other.name = "Other";
        other.deviceClass = 9;
        boards.plug(0, 1, "Before");
        boards.plug(1, other);
        const std::string otherBefore = file(1);
        MainForm form;
        showPage(form);
        QCOMPARE(row(form, 0), (QStringList{"1", "Before", "0", "1"}));

        retype(form.IdLineEdit, "007");
        retype(form.nameLineEdit, "Scope front end");
        retype(form.classLineEdit, "3");
        pressUpdate(form);

        QCOMPARE(row(form, 0), (QStringList{"7", "Scope front end", "3", "1"}));
        QCOMPARE(row(form, 1), (QStringList{"50", "Other", "9", "1"}));
        QCOMPARE(form.devListTree->selectedItems(), QList<QTreeWidgetItem*>{form.devListTree->topLevelItem(0)});
        QCOMPARE(form.IdLineEdit->text(), QStringLiteral("007"));
        QCOMPARE(form.nameLineEdit->text(), QStringLiteral("Scope front end"));
        QCOMPARE(form.classLineEdit->text(), QStringLiteral("3"));
        QCOMPARE(status(form), QStringLiteral("Identity written: ID 7, name \"Scope front end\", class 3."));
        const kousb::BoardIdentity written = identityInFile(0);
        QCOMPARE(written.id, 7);
        QCOMPARE(QString::fromStdString(written.name), QStringLiteral("Scope front end"));
        QCOMPARE(int(written.deviceClass), 3);
        QCOMPARE(written.firmwareVersion, 1);
        QCOMPARE(file(1), otherBefore);

        // The current device stays bound to the same board: a second update
        // goes to it again, not to whatever the list now shows first.
        fill(form, "-5", QString::fromUtf8("Zoë"), "255");
        pressUpdate(form);
        QCOMPARE(row(form, 0), (QStringList{"-5", QString::fromUtf8("Zoë"), "255", "1"}));
        QCOMPARE(identityInFile(0).name, std::string("Zo\xEB"));
        QCOMPARE(identityInFile(0).id, -5);
        QCOMPARE(file(1), otherBefore);
    }

    void extremesAndAnEmptyName_data()
    {
        // clang-format off
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("deviceClass");
        QTest::addColumn<int>("writtenId");
        QTest::addColumn<int>("writtenClass");
        QTest::newRow("largest ID") << "2147483647" << "max" << "0" << 2147483647 << 0;
        QTest::newRow("smallest ID") << "-2147483648" << "min" << "255" << int(-2147483647 - 1) << 255;
        QTest::newRow("empty name") << "4" << "" << "0012" << 4 << 12;
        QTest::newRow("name like a placeholder") << "4" << "%1 100%" << "6" << 4 << 6;
        QTest::newRow("longest name") << "4" << QString(int(kousb::eeprom::kMaxNameLength), 'L') << "1" << 4 << 1;
        // clang-format on
    }
    void extremesAndAnEmptyName()
    {
        QFETCH(QString, id);
        QFETCH(QString, name);
        QFETCH(QString, deviceClass);
        QFETCH(int, writtenId);
        QFETCH(int, writtenClass);
        boards.plug(2, 1, "Before");
        MainForm form;
        showPage(form);
        fill(form, id, name, deviceClass);
        pressUpdate(form);
        QCOMPARE(status(form), QStringLiteral("Identity written: ID %1, name \"%2\", class %3.")
                                   .arg(QString::number(writtenId), name, QString::number(writtenClass)));
        const kousb::BoardIdentity written = identityInFile(2);
        QCOMPARE(written.id, writtenId);
        QCOMPARE(QString::fromStdString(written.name), name);
        QCOMPARE(int(written.deviceClass), writtenClass);
        QCOMPARE(row(form, 0).value(1), name);
    }

    void refusedInputWritesNothing_data()
    {
        // clang-format off
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("deviceClass");
        QTest::addColumn<QString>("message");
        const QString notWritten = QStringLiteral("Identity not written: ");
        QTest::newRow("empty ID") << "" << "n" << "1" << notWritten + "the ID is empty; enter a decimal integer from -2147483648 to 2147483647.";
        QTest::newRow("ID 12abc") << "12abc" << "n" << "1" << notWritten + "the ID \"12abc\" is not a decimal integer.";
        QTest::newRow("ID 0x10") << "0x10" << "n" << "1" << notWritten + "the ID \"0x10\" is not a decimal integer.";
        QTest::newRow("ID too large") << "2147483648" << "n" << "1" << notWritten + "the ID \"2147483648\" is outside -2147483648 to 2147483647.";
        QTest::newRow("name too long") << "1" << QString(32, 'n') << "1" << notWritten + "the name has 32 characters; the board's EEPROM holds at most 31.";
        QTest::newRow("name not Latin-1") << "1" << QString::fromUtf8("5 €") << "1" << notWritten + QString::fromUtf8("the name holds \"€\" (character 3), which is not a Latin-1 character.");
        QTest::newRow("class 300") << "1" << "n" << "300" << notWritten + "the class \"300\" is outside 0 to 255.";
        QTest::newRow("class 256") << "1" << "n" << "256" << notWritten + "the class \"256\" is outside 0 to 255.";
        QTest::newRow("class -1") << "1" << "n" << "-1" << notWritten + "the class \"-1\" is outside 0 to 255.";
        QTest::newRow("class empty") << "1" << "n" << "" << notWritten + "the class is empty; enter a decimal integer from 0 to 255.";
        // clang-format on
    }
    void refusedInputWritesNothing()
    {
        QFETCH(QString, id);
        QFETCH(QString, name);
        QFETCH(QString, deviceClass);
        QFETCH(QString, message);
        boards.plug(0, 8, "Keep me");
        const std::string before = file(0);
        MainForm form;
        showPage(form);
        fill(form, id, name, deviceClass);
        pressUpdate(form);
        QCOMPARE(status(form), message);
        QCOMPARE(file(0), before);
        QCOMPARE(row(form, 0), (QStringList{"8", "Keep me", "0", "1"}));
        QCOMPARE(form.IdLineEdit->text(), id);
        QCOMPARE(form.nameLineEdit->text(), name);
        QCOMPARE(form.classLineEdit->text(), deviceClass);

        // Mended, the same fields are written and the refusal is replaced.
        fill(form, "9", "Mended", "2");
        pressUpdate(form);
        QCOMPARE(status(form), QStringLiteral("Identity written: ID 9, name \"Mended\", class 2."));
        QCOMPARE(identityInFile(0).id, 9);
    }

    void noBoardSelected()
    {
        MainForm form;
        showPage(form);
        fill(form, "3", "Nobody", "1");
        pressUpdate(form);
        QCOMPARE(status(form), QStringLiteral("ID, name and class not written: no board selected."));
        QCOMPARE(form.devListTree->topLevelItemCount(), 0);
        QCOMPARE(form.IdLineEdit->text(), QStringLiteral("3"));

        // The fields are still checked first.
        form.IdLineEdit->setText("three");
        pressUpdate(form);
        QCOMPARE(status(form), QStringLiteral("Identity not written: the ID \"three\" is not a decimal integer."));
    }

    void boardUnpluggedSinceSelected()
    {
        boards.plug(0, 1, "Going");
        MainForm form;
        showPage(form);
        boards.unplug(0);
        form.IdLineEdit->setText("2");
        pressUpdate(form);
        QCOMPARE(status(form), QStringLiteral("ID, name and class not written: board unplugged."));
    }

    // A real board keeps its EEPROM; a simulated one keeps it in its file, so
    // moving the file out of the folder and back is unplugging and replugging.
    void identitySurvivesRestartAndReplugging()
    {
        boards.plug(0, 1, "Before");
        {
            MainForm form;
            showPage(form);
            fill(form, "77", "Kept", "5");
            pressUpdate(form);
        }
        const QStringList expected{"77", "Kept", "5", "1"};
        auto form = std::make_unique<MainForm>();
        QCOMPARE(row(*form, 0), expected);
        QCOMPARE(status(*form), QStringLiteral("Current device: Kept with ID 77"));

        QTemporaryDir away;
        QVERIFY(away.isValid());
        const QString inFolder = QString::fromStdString(boards.path(0));
        const QString outside = away.filePath("board");
        QVERIFY(QFile::rename(inFolder, outside));
        form->handleDeviceChange();
        QCOMPARE(form->devListTree->topLevelItemCount(), 0);
        QVERIFY(QFile::rename(outside, inFolder));
        form->handleDeviceChange();
        QCOMPARE(row(*form, 0), expected);
        QCOMPARE(form->IdLineEdit->text(), QStringLiteral("77"));
    }
};

QTEST_MAIN(TestIdentification)
#include "tst_identification.moc"
