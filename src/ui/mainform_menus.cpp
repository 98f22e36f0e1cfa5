// SPDX-License-Identifier: MIT
// The Options and Help menus.
#include "mainform.h"

#include <QMessageBox>
#include <QPixmap>

namespace {

const QString kEepromMode = QStringLiteral("EEPROM");
const QString kExpertHint = QStringLiteral("Options > Expert mode enables this page");

}  // namespace

// Applies the check mark of "Expert mode" in full, so a repeated call changes
// nothing. Changing the list from code emits no textActivated, so the IO
// tests' mode slot is not run by it.
void MainForm::expertModeChanged()
{
    const bool expert = actionExpertMode->isChecked();
    // A control that its own page has disabled (the flash button during a
    // flash) stays disabled when the page is enabled again.
    firmwareTab->setEnabled(expert);
    fpgaTab->setEnabled(expert);
    // A greyed page says how to enable it, on its tab and on the page.
    const QString hint = expert ? QString() : kExpertHint;
    for (QWidget* page : {static_cast<QWidget*>(firmwareTab), static_cast<QWidget*>(fpgaTab)}) {
        page->setToolTip(hint);
        deviceTab->setTabToolTip(deviceTab->indexOf(page), hint);
    }
    // Qt::MatchFixedString alone compares the whole text, ignoring case.
    const int eeprom = modeComboBox->findText(kEepromMode, Qt::MatchFixedString);
    if (eeprom >= 0)
        modeComboBox->removeItem(eeprom);
    if (expert)
        modeComboBox->addItem(kEepromMode);
}

void MainForm::showAbout()
{
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("USB Device Manager"));
    box.setText(
        QStringLiteral("This is the KORVA USB device manager GUI\n"
                       "For updates an more information see:\n"
                       "https://example.org/usb-device-manager"));
    box.setInformativeText(QStringLiteral("USB Device Manager team (usb-device-manager@example.org)"));
    box.setStandardButtons(QMessageBox::Ok);
    box.setIconPixmap(QPixmap(QStringLiteral(":/Icons/resources/korva_usb.ico")));
    box.exec();
}
