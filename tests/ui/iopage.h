// SPDX-License-Identifier: MIT
#pragma once
// Drives the "IO Tests" page of a MainForm through its widgets, as a user
// does: pick the mode, type into the fields, click the buttons.
#include "mainform.h"

#include <QStatusBar>
#include <QtTest>

class IoPage {
public:
    explicit IoPage(MainForm& form) : m_form(form) {}

    // Shows the window on the page; false if it never appeared.
    bool open()
    {
        m_form.show();
        m_form.tabWidget->setCurrentWidget(m_form.testTb);
        return QTest::qWaitForWindowExposed(&m_form);
    }

    // Picks `mode` in the list; false when the list does not offer it.
    bool setMode(const QString& mode)
    {
        const int index = m_form.modeComboBox->findText(mode);
        if (index < 0)
            return false;
        m_form.modeComboBox->setCurrentIndex(index);
        return true;
    }

    void type(QLineEdit* line, const QString& text)
    {
        line->clear();
        QTest::keyClicks(line, text);
    }

    void setHex(bool on)
    {
        if (m_form.hexCheckBox->isChecked() != on)
            QTest::mouseClick(m_form.hexCheckBox, Qt::LeftButton, {}, QPoint(5, m_form.hexCheckBox->height() / 2));
    }

    void clickWrite() { QTest::mouseClick(m_form.writeBtn, Qt::LeftButton); }
    void clickRead() { QTest::mouseClick(m_form.readBtn, Qt::LeftButton); }

    // Sets the address and the data and presses "Write".
    void write(const QString& address, const QString& data)
    {
        type(m_form.addLine, address);
        type(m_form.writeDataLine, data);
        clickWrite();
    }

    // Sets the address and the size, presses "Read" and returns the data line.
    QString read(const QString& address, const QString& size)
    {
        type(m_form.addLine, address);
        type(m_form.sizeLine, size);
        clickRead();
        return m_form.readDataLine->text();
    }

    QString status() const { return m_form.statusbar->currentMessage(); }

private:
    MainForm& m_form;
};
