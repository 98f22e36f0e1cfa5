// SPDX-License-Identifier: MIT
// The device list and the current device, driven through the window's widgets.
#include "mainform.h"
#include "KoUSBLib.h"
#include "simboards.h"

#include <QStatusBar>
#include <QtTest>

class TestDeviceList : public QObject {
    Q_OBJECT

    SimBoards boards;

    void click(MainForm& form, int row)
    {
        QTreeWidgetItem* item = form.devListTree->topLevelItem(row);
        QVERIFY(item);
        const QRect rect = form.devListTree->visualItemRect(item);
        QTest::mouseClick(form.devListTree->viewport(), Qt::LeftButton, {}, rect.center());
    }

    static QString status(MainForm& form) { return form.statusbar->currentMessage(); }

    // The row selected in the list, -1 for none (and -2 for more than one).
    static int marked(MainForm& form)
    {
        const QList<QTreeWidgetItem*> rows = form.devListTree->selectedItems();
        return rows.size() > 1 ? -2 : rows.isEmpty() ? -1 : form.devListTree->indexOfTopLevelItem(rows.first());
    }

private slots:
    void cleanup()
    {
        boards.unplugAll();
        SimBoards::sync();
    }

    void noBoardAtStart()
    {
        MainForm form;
        QCOMPARE(form.devListTree->topLevelItemCount(), 0);
        QCOMPARE(status(form), QStringLiteral("No USB device found or selected."));
        QVERIFY(form.infoWindow->toPlainText().isEmpty());
        QVERIFY(form.IdLineEdit->text().isEmpty());
        QVERIFY(form.nameLineEdit->text().isEmpty());
        QVERIFY(form.classLineEdit->text().isEmpty());
    }

    void twoBoardsAtStart()
    {
        SimBoards::Options a;
        a.id = 11;
        a.name = "Alpha";
        a.deviceClass = 4;
        a.firmwareVersion = 17;
        boards.plug(3, a);
        boards.plug(1, 22, "Beta");
        MainForm form;
        QCOMPARE(form.devListTree->columnCount(), 4);
        QCOMPARE(form.devListTree->headerItem()->text(0), QStringLiteral("Id"));
        QCOMPARE(form.devListTree->headerItem()->text(3), QStringLiteral("FW"));
        QCOMPARE(form.devListTree->columnWidth(1), 120);
        QCOMPARE(form.devListTree->topLevelItemCount(), 2);
        // Slot order: slot 1 before slot 3.
        QTreeWidgetItem* first = form.devListTree->topLevelItem(0);
        QTreeWidgetItem* second = form.devListTree->topLevelItem(1);
        QCOMPARE(first->text(1), QStringLiteral("Beta"));
        QCOMPARE(second->text(0), QStringLiteral("11"));
        QCOMPARE(second->text(1), QStringLiteral("Alpha"));
        QCOMPARE(second->text(2), QStringLiteral("4"));
        QCOMPARE(second->text(3), QStringLiteral("17"));
        QVERIFY(!second->icon(0).isNull());
        QCOMPARE(status(form), QStringLiteral("Current device: Beta with ID 22"));
        QCOMPARE(form.IdLineEdit->text(), QStringLiteral("22"));
        QVERIFY(form.infoWindow->toPlainText().contains("slot 1"));
        // Its place and serial first: "KO" and the ID in hex (the firmware's descriptors.c).
        QVERIFY2(form.infoWindow->toPlainText().startsWith("Place: sim-1, serial KO00000016\n"),
                 qPrintable(form.infoWindow->toPlainText()));
        // The current board's row is marked.
        QCOMPARE(form.devListTree->selectedItems(), QList<QTreeWidgetItem*>{first});
    }

    void clickSelectsTheClickedBoard()
    {
        SimBoards::Options a;
        a.id = 5;
        a.name = "Board f\xFCnf";  // Latin-1 text from the board
        a.deviceClass = 200;
        boards.plug(0, 4, "Four");
        boards.plug(2, a);
        MainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        click(form, 1);
        QCOMPARE(status(form), QString::fromUtf8("Current device: Board fünf with ID 5"));
        QCOMPARE(form.IdLineEdit->text(), QStringLiteral("5"));
        QCOMPARE(form.nameLineEdit->text(), QString::fromUtf8("Board fünf"));
        QCOMPARE(form.classLineEdit->text(), QStringLiteral("200"));
        QVERIFY(form.infoWindow->toPlainText().contains("slot 2"));

        // Clicking the current board again rebinds it and overwrites typed text.
        QTest::keyClicks(form.nameLineEdit, " edited");
        form.statusbar->showMessage("something else");
        click(form, 1);
        QCOMPARE(form.nameLineEdit->text(), QString::fromUtf8("Board fünf"));
        QCOMPARE(status(form), QString::fromUtf8("Current device: Board fünf with ID 5"));
    }

    void rowsMapToBoardsById()
    {
        boards.plug(0, 6, "first six");
        boards.plug(1, 6, "second six");
        MainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        click(form, 1);
        // Both rows say ID 6; the library answers with the first board of that ID,
        // and the Info page says which one that is.
        QCOMPARE(status(form), QStringLiteral("Current device: first six with ID 6"));
        QVERIFY(form.infoWindow->toPlainText().startsWith("Place: sim-0, serial KO00000006\n"));
    }

    void keyboardSelectionDoesNotChangeCurrentDevice()
    {
        boards.plug(0, 1, "one");
        boards.plug(1, 2, "two");
        MainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.devListTree->setFocus();
        form.devListTree->setCurrentItem(form.devListTree->topLevelItem(0));
        QTest::keyClick(form.devListTree, Qt::Key_Down);
        QCOMPARE(form.devListTree->currentItem(), form.devListTree->topLevelItem(1));
        QCOMPARE(status(form), QStringLiteral("Current device: one with ID 1"));
    }

    void clickOnBoardThatHasGone()
    {
        boards.plug(0, 1, "one");
        boards.plug(1, 2, "two");
        MainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        boards.unplug(1);
        SimBoards::sync();  // the library knows; the window has not rebuilt its list yet
        click(form, 1);
        QCOMPARE(status(form), QStringLiteral("No USB device found or selected."));
        QVERIFY(form.infoWindow->toPlainText().isEmpty());
        QCOMPARE(form.IdLineEdit->text(), QStringLiteral("1"));  // fields keep the last board's values
    }

    void deviceChangesRechooseTheCurrentDevice()
    {
        boards.plug(1, 2, "two");
        MainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(status(form), QStringLiteral("Current device: two with ID 2"));
        boards.plug(0, 1, "one");
        form.handleDeviceChange();
        QCOMPARE(form.devListTree->topLevelItemCount(), 2);
        QCOMPARE(status(form), QStringLiteral("Current device: one with ID 1"));

        // Nothing changed: nothing happens, not even to a typed field.
        form.IdLineEdit->setText("typed");
        form.handleDeviceChange();
        QCOMPARE(form.IdLineEdit->text(), QStringLiteral("typed"));

        boards.unplug(0);
        boards.unplug(1);
        form.handleDeviceChange();
        QCOMPARE(form.devListTree->topLevelItemCount(), 0);
        QCOMPARE(status(form), QStringLiteral("No USB device found or selected."));
        QVERIFY(form.infoWindow->toPlainText().isEmpty());
        QCOMPARE(form.IdLineEdit->text(), QStringLiteral("typed"));
    }

    // The highlight names the board the tools act on after every choice:
    // start, plug, click, Enter on a row, two boards of one ID, unplug.
    void theCurrentBoardIsMarked()
    {
        boards.plug(1, 2, "two");
        MainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(marked(form), 0);
        boards.plug(0, 1, "one");
        form.handleDeviceChange();
        QCOMPARE(status(form), QStringLiteral("Current device: one with ID 1"));
        QCOMPARE(marked(form), 0);
        click(form, 1);
        QCOMPARE(marked(form), 1);

        // The arrows move the highlight only; Enter chooses the row's board.
        form.devListTree->setFocus();
        QTest::keyClick(form.devListTree, Qt::Key_Up);
        QCOMPARE(status(form), QStringLiteral("Current device: two with ID 2"));
        QTest::keyClick(form.devListTree, Qt::Key_Return);
        QCOMPARE(status(form), QStringLiteral("Current device: one with ID 1"));
        QCOMPARE(marked(form), 0);

        // Of two boards with ID 1 the library gives the one in slot 0: its
        // row is marked, whichever of the two was clicked.
        boards.plug(2, 1, "another one");
        form.handleDeviceChange();
        click(form, 2);
        QCOMPARE(status(form), QStringLiteral("Current device: one with ID 1"));
        QCOMPARE(marked(form), 0);

        boards.unplug(0);
        form.handleDeviceChange();
        QCOMPARE(status(form), QStringLiteral("Current device: two with ID 2"));
        QCOMPARE(marked(form), 0);
        boards.unplugAll();
        form.handleDeviceChange();
        QCOMPARE(marked(form), -1);
    }

    void listRebuildKeepsCurrentBinding()
    {
        boards.plug(0, 1, "one");
        MainForm form;
        form.statusbar->showMessage("kept");
        form.updateDeviceList();
        QCOMPARE(form.devListTree->topLevelItemCount(), 1);
        QCOMPARE(status(form), QStringLiteral("kept"));
    }
};

QTEST_MAIN(TestDeviceList)
#include "tst_devicelist.moc"
