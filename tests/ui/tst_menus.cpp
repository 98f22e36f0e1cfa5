// SPDX-License-Identifier: MIT
// The Options and Help menus: expert mode and the About box.
#include "mainform.h"
#include "simboards.h"

#include <QMessageBox>
#include <QSignalSpy>
#include <QStatusBar>
#include <QtTest>

#include <functional>

class TestMenus : public QObject {
    Q_OBJECT

    SimBoards boards;

    static QStringList modes(MainForm& form)
    {
        QStringList texts;
        for (int i = 0; i < form.modeComboBox->count(); ++i)
            texts << form.modeComboBox->itemText(i);
        return texts;
    }

    static const QStringList& normalModes()
    {
        static const QStringList list{"External",   "FPGA",      "Block", "I2C", "Command",
                                      "Controller", "Interrupt", "SPI",   "UART"};
        return list;
    }

    static QList<QWidget*> firmwareWidgets(MainForm& form)
    {
        return {
            form.firmwareTab,       form.loadControllerBtn,  form.controlleFileDialogBtn, form.controllerFileLineEdit,
            form.flashEEPROMBtn,    form.eepromFileLineEdit, form.eepromFileDialogBtn,    form.fpgaTab,
            form.fpgaFileDialogBtn, form.fpgaFileLineEdit,   form.loadFPGAButton};
    }

    static void verifyFirmwarePages(MainForm& form, bool enabled)
    {
        for (QWidget* widget : firmwareWidgets(form))
            QVERIFY2(widget->isEnabled() == enabled, qPrintable(widget->objectName()));
        // The tabs stay selectable either way.
        QVERIFY(form.deviceTab->isTabEnabled(form.deviceTab->indexOf(form.firmwareTab)));
        QVERIFY(form.deviceTab->isTabEnabled(form.deviceTab->indexOf(form.fpgaTab)));
        QVERIFY(form.miscTab->isEnabled());
        QVERIFY(form.infoTab->isEnabled());
        // A greyed page says how to enable it, on the page and on its tab.
        const QString hint = enabled ? QString() : QStringLiteral("Options > Expert mode enables this page");
        for (QWidget* page : {static_cast<QWidget*>(form.firmwareTab), static_cast<QWidget*>(form.fpgaTab)}) {
            QCOMPARE(page->toolTip(), hint);
            QCOMPARE(form.deviceTab->tabToolTip(form.deviceTab->indexOf(page)), hint);
        }
    }

    static QMessageBox* shownMessageBox()
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                return box;
        return nullptr;
    }

    // Runs `inspect` on the About box once it is up, then `answer`s it; a
    // stray box is closed after a while so a failure cannot hang the test.
    static void whileAboutIsShown(MainForm& form, std::function<void(QMessageBox*)> inspect,
                                  std::function<void(QMessageBox*)> answer)
    {
        bool seen = false;
        QTimer guard;  // also the context of the check, so neither outlives this call
        QTimer::singleShot(0, &guard, [&]() {
            QMessageBox* box = shownMessageBox();
            if (!box)
                return;
            seen = true;
            inspect(box);
            answer(box);
        });
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, []() {
            if (QMessageBox* box = shownMessageBox())
                box->reject();
        });
        guard.start(10000);
        form.actionAbout->trigger();
        QVERIFY2(seen, "no About box was shown");
        QVERIFY(!shownMessageBox());
        for (QWidget* widget : QApplication::topLevelWidgets())
            QVERIFY2(!qobject_cast<QMessageBox*>(widget), "the About box was not destroyed");
    }

private slots:
    void cleanup()
    {
        boards.unplugAll();
        SimBoards::sync();
    }

    // Hovering a menu entry (an empty status tip) leaves the message; a
    // tip shows while it lasts; a message too long for the bar is its tool tip.
    void statusBarKeepsItsMessage()
    {
        boards.plug(0, 1, "Board");
        MainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QString current = QStringLiteral("Current device: Board with ID 1");
        QCOMPARE(form.statusbar->currentMessage(), current);
        form.menu_Options->popup(form.mapToGlobal(QPoint(10, 30)));
        QVERIFY(QTest::qWaitForWindowExposed(form.menu_Options));
        form.menu_Options->setActiveAction(form.actionExpertMode);
        QTest::mouseMove(form.menu_Options, form.menu_Options->actionGeometry(form.actionExpertMode).center());
        form.menu_Options->hide();
        QCOMPARE(form.statusbar->currentMessage(), current);

        QStatusTipEvent tip(QStringLiteral("A hint")), gone{QString()};
        QCoreApplication::sendEvent(&form, &tip);
        QCOMPARE(form.statusbar->currentMessage(), QStringLiteral("A hint"));
        QCoreApplication::sendEvent(&form, &gone);
        QCOMPARE(form.statusbar->currentMessage(), current);
        QVERIFY(form.statusbar->toolTip().isEmpty());

        const QString longMessage = "Flashing the EEPROM from " + QString(200, 'x') + " failed: verification failed";
        form.statusbar->showMessage(longMessage);
        QCOMPARE(form.statusbar->toolTip(), longMessage);
        form.statusbar->showMessage(current);
        QVERIFY(form.statusbar->toolTip().isEmpty());
    }

    void menusAsBuilt()
    {
        MainForm form;
        const QList<QAction*> bar = form.menubar->actions();
        QCOMPARE(bar.size(), 2);
        QCOMPARE(bar[0]->menu(), form.menu_Options);
        QCOMPARE(bar[1]->menu(), form.menuAbout);
        QCOMPARE(form.menu_Options->title(), QStringLiteral("&Options"));
        QCOMPARE(form.menuAbout->title(), QStringLiteral("Help"));
        QCOMPARE(form.menu_Options->actions(), QList<QAction*>{form.actionExpertMode});
        QCOMPARE(form.menuAbout->actions(), QList<QAction*>{form.actionAbout});
        QCOMPARE(form.actionExpertMode->text(), QStringLiteral("&Expert mode"));
        QCOMPARE(form.actionAbout->text(), QStringLiteral("&About"));
        QVERIFY(form.actionExpertMode->isCheckable());
        QVERIFY(!form.actionAbout->icon().isNull());
        QVERIFY(form.actionExpertMode->shortcut().isEmpty());
        QVERIFY(form.actionAbout->shortcut().isEmpty());
    }

    void everyRunStartsInNormalMode()
    {
        boards.plug(0, 1, "Board");
        MainForm form;
        QVERIFY(!form.actionExpertMode->isChecked());
        QCOMPARE(modes(form), normalModes());
        QCOMPARE(form.modeComboBox->currentText(), QStringLiteral("External"));
        verifyFirmwarePages(form, false);
        // The firmware page is the one shown first, greyed out.
        QCOMPARE(form.deviceTab->currentWidget(), form.firmwareTab);
    }

    void onOffOn()
    {
        MainForm form;
        QSignalSpy activated(form.modeComboBox, &QComboBox::textActivated);

        form.actionExpertMode->trigger();
        QVERIFY(form.actionExpertMode->isChecked());
        QCOMPARE(modes(form), normalModes() + QStringList{"EEPROM"});
        verifyFirmwarePages(form, true);

        form.actionExpertMode->trigger();
        QVERIFY(!form.actionExpertMode->isChecked());
        QCOMPARE(modes(form), normalModes());
        verifyFirmwarePages(form, false);

        form.actionExpertMode->trigger();
        QCOMPARE(modes(form), normalModes() + QStringList{"EEPROM"});
        verifyFirmwarePages(form, true);

        // Applying the same state again adds no second item.
        form.expertModeChanged();
        QCOMPARE(modes(form), normalModes() + QStringList{"EEPROM"});
        QCOMPARE(activated.count(), 0);
    }

    void eepromItemIsMatchedWholeIgnoringCase()
    {
        MainForm form;
        form.modeComboBox->insertItem(2, "eeprom");
        form.modeComboBox->addItem("EEPROM dump");
        form.actionExpertMode->trigger();
        QCOMPARE(modes(form).count("EEPROM"), 1);
        QCOMPARE(modes(form).last(), QStringLiteral("EEPROM"));
        QVERIFY(!modes(form).contains("eeprom"));
        QVERIFY(modes(form).contains("EEPROM dump"));
        form.actionExpertMode->trigger();
        QVERIFY(!modes(form).contains("EEPROM"));
        QVERIFY(modes(form).contains("EEPROM dump"));
    }

    void offWhileEepromIsSelectedRunsNoIoOperation()
    {
        boards.plug(0, 1, "Board");
        MainForm form;
        form.actionExpertMode->trigger();
        form.modeComboBox->setCurrentIndex(form.modeComboBox->findText("EEPROM"));
        const std::string before = kousb::sim::formatBoardFile(boards.read(0));
        const QString statusBefore = form.statusbar->currentMessage();
        QSignalSpy activated(form.modeComboBox, &QComboBox::textActivated);
        QSignalSpy activatedIndex(form.modeComboBox, QOverload<int>::of(&QComboBox::activated));

        form.actionExpertMode->trigger();

        QCOMPARE(modes(form), normalModes());
        QVERIFY(normalModes().contains(form.modeComboBox->currentText()));
        QCOMPARE(activated.count(), 0);
        QCOMPARE(activatedIndex.count(), 0);
        QCOMPARE(kousb::sim::formatBoardFile(boards.read(0)), before);
        QCOMPARE(form.statusbar->currentMessage(), statusBefore);
        QVERIFY(form.readDataLine->text().isEmpty());
    }

    // A control its own page has disabled (the flash button while a flash
    // runs) is not enabled by switching expert mode on.
    void pageControlsDisabledByTheirPageStayDisabled()
    {
        MainForm form;
        form.actionExpertMode->trigger();
        form.flashEEPROMBtn->setEnabled(false);
        form.actionExpertMode->trigger();
        form.actionExpertMode->trigger();
        QVERIFY(form.firmwareTab->isEnabled());
        QVERIFY(form.loadControllerBtn->isEnabled());
        QVERIFY(!form.flashEEPROMBtn->isEnabled());
        form.flashEEPROMBtn->setEnabled(true);
        QVERIFY(form.flashEEPROMBtn->isEnabled());
    }

    void aboutBox_data()
    {
        // clang-format off
        QTest::addColumn<bool>("withBoard");
        QTest::newRow("no board") << false;
        QTest::newRow("one board") << true;
        // clang-format on
    }
    void aboutBox()
    {
        QFETCH(bool, withBoard);
        if (withBoard)
            boards.plug(0, 3, "Board");
        MainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QString status = form.statusbar->currentMessage();
        const int page = form.deviceTab->currentIndex();
        const QImage expectedIcon = QPixmap(":/Icons/resources/korva_usb.ico").toImage();
        QVERIFY(!expectedIcon.isNull());

        QString title, text, informative;
        QMessageBox::StandardButtons buttons;
        int buttonCount = 0;
        bool modal = false, parentless = false, iconMatches = false;
        whileAboutIsShown(
            form,
            [&](QMessageBox* box) {
                title = box->windowTitle();
                text = box->text();
                informative = box->informativeText();
                buttons = box->standardButtons();
                buttonCount = box->buttons().size();
                modal = box->isModal() && QApplication::activeModalWidget() == box;
                parentless = box->parentWidget() == nullptr;
                iconMatches = box->icon() == QMessageBox::NoIcon && box->iconPixmap().toImage() == expectedIcon;
            },
            [](QMessageBox* box) { QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton); });
        if (QTest::currentTestFailed())
            return;

        QCOMPARE(title, QStringLiteral("USB Device Manager"));
        QCOMPARE(text, QStringLiteral("This is the KORVA USB device manager GUI\n"
                                      "For updates an more information see:\n"
                                      "https://example.org/usb-device-manager"));
        QCOMPARE(informative, QStringLiteral("USB Device Manager team (usb-device-manager@example.org)"));
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(buttonCount, 1);
        QVERIFY(modal);
        QVERIFY(parentless);
        QVERIFY(iconMatches);
        // Nothing else changes.
        QCOMPARE(form.statusbar->currentMessage(), status);
        QCOMPARE(form.deviceTab->currentIndex(), page);
        QCOMPARE(modes(form), normalModes());
        verifyFirmwarePages(form, false);
    }

    void aboutBoxClosedWithEscape()
    {
        MainForm form;
        whileAboutIsShown(
            form, [](QMessageBox*) {}, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    }
};

QTEST_MAIN(TestMenus)
#include "tst_menus.moc"
