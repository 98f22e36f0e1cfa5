// SPDX-License-Identifier: MIT
// The window's frame as built from its description.
#include "mainform.h"
#include "simboards.h"

#include <QComboBox>
#include <QtTest>

class TestMainWindow : public QObject {
    Q_OBJECT

    SimBoards boards;

private slots:
    void fixedSize()
    {
        MainForm form;
        QCOMPARE(form.size(), QSize(461, 403));
        QCOMPARE(form.minimumSize(), QSize(461, 403));
        QCOMPARE(form.maximumSize(), QSize(461, 403));
        form.show();
        form.resize(800, 600);
        QCOMPARE(form.size(), QSize(461, 403));
        QCOMPARE(form.windowTitle(), QStringLiteral("USB Device Manager"));
        QVERIFY(!form.windowIcon().isNull());
    }

    void pagesAndTitles()
    {
        MainForm form;
        QCOMPARE(form.tabWidget->count(), 3);
        QCOMPARE(form.tabWidget->tabText(0), QStringLiteral("Device List"));
        QCOMPARE(form.tabWidget->tabText(1), QStringLiteral("IO Tests"));
        QCOMPARE(form.tabWidget->tabText(2), QStringLiteral("Benchmark"));
        QCOMPARE(form.tabWidget->widget(1), form.testTb);
        QCOMPARE(form.deviceTab->count(), 4);
        QCOMPARE(form.deviceTab->tabText(0), QStringLiteral("Info"));
        QCOMPARE(form.deviceTab->tabText(1), QStringLiteral("Identification"));
        QCOMPARE(form.deviceTab->tabText(2), QStringLiteral("USB firmware"));
        QCOMPARE(form.deviceTab->tabText(3), QStringLiteral("FPGA firmware"));
        QCOMPARE(form.deviceTab->widget(3), form.fpgaTab);
        QCOMPARE(form.tabWidget->currentIndex(), 0);
        QCOMPARE(form.deviceTab->currentIndex(), 2);
        QVERIFY(form.flashProgressBar->isHidden());
    }

    void descriptionBuildsTenModes()
    {
        QMainWindow window;
        Ui_MainWindow ui;
        ui.setupUi(&window);
        QStringList modes;
        for (int i = 0; i < ui.modeComboBox->count(); ++i)
            modes << ui.modeComboBox->itemText(i);
        QCOMPARE(modes, (QStringList{"External", "FPGA", "Block", "I2C", "Command", "Controller", "Interrupt", "SPI",
                                     "UART", "EEPROM"}));
        QCOMPARE(ui.modeComboBox->currentText(), QStringLiteral("External"));
        QCOMPARE(ui.addLine->text(), QStringLiteral("0"));
        QCOMPARE(ui.sizeLine->text(), QStringLiteral("1"));
        QVERIFY(ui.readDataLine->isReadOnly());
        QVERIFY(!ui.hexCheckBox->isChecked());
        QVERIFY(ui.actionExpertMode->isCheckable());
        QVERIFY(!ui.actionExpertMode->isChecked());
    }

    void geometryOfThePages()
    {
        MainForm form;
        QCOMPARE(form.devListTree->geometry(), QRect(11, 10, 431, 150));
        QCOMPARE(form.deviceTab->geometry(), QRect(11, 167, 431, 161));
        QCOMPARE(form.benchPlot->geometry(), QRect(10, 19, 421, 261));
        QCOMPARE(form.runBtn->geometry(), QRect(350, 300, 75, 23));
        QCOMPARE(form.updateIdBtn->geometry(), QRect(320, 50, 75, 23));
        QCOMPARE(form.flashEEPROMBtn->geometry(), QRect(334, 60, 81, 24));
        QCOMPARE(form.fpgaFileLineEdit->geometry(), QRect(10, 20, 291, 20));
        QCOMPARE(form.gridLayoutWidget_3->geometry(), QRect(60, 40, 341, 192));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
