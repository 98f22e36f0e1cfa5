// SPDX-License-Identifier: MIT
// The "IO Tests" page: a few bytes at a time through one access mode.
//
// The slots stay thin: the text codec (iovalues.h) and the modes with their
// board calls (iomode.h) are shared with the command line. Each slot reads
// the page's widgets when it runs and makes at most one call on currentDevice.
//
// Failures are never hidden: a negative size reads nothing;
// the receive buffer starts zeroed; a failed read empties readDataLine and
// says in the status bar that it failed and why, and so does a failed write
// (without touching readDataLine); "Command" and "EEPROM" reads, which make
// no call, empty readDataLine and say that the mode cannot read. A
// successful transfer leaves the status bar alone, unless it still shows an
// IO failure: then a short confirmation replaces it, so a failure never
// stands under a good transfer.
#include "mainform.h"

#include "KoUSBLib.h"
#include "deviceguard.h"
#include "iomode.h"
#include "iovalues.h"

#include <QStatusBar>

#include <optional>

namespace {

iovalues::Base baseOf(const QCheckBox* hex) { return hex->isChecked() ? iovalues::Base::Hex : iovalues::Base::Decimal; }

// The address field as a decimal int, 0 when it is none (also with "hex").
int addressOf(const QLineEdit* line) { return line->text().toInt(nullptr, 10); }

QString lastError(KoUSBDevice* device) { return QString::fromLatin1(device->GetLastError()); }

// "I2C: 3 bytes written", "UART: 1 byte read".
QString confirmation(const QString& mode, int count, const char* done)
{
    return QStringLiteral("%1: %2 %3 %4")
        .arg(mode)
        .arg(count)
        .arg(QLatin1String(count == 1 ? "byte" : "bytes"), QLatin1String(done));
}

}  // namespace

void MainForm::writeClicked()
{
    if (!m_deviceGuard->allowsDeviceCalls())
        return;  // a long operation's worker owns the device until it ends
    iovalues::Transmit tx = iovalues::transmitBuffer(writeDataLine->text().toStdString(), baseOf(hexCheckBox));
    sizeLine->setText(QString::number(tx.count, 10));

    const QString modeText = modeComboBox->currentText();
    const std::optional<IoMode> mode = ioModeFromName(modeText.toStdString());
    if (!mode)
        return;
    const std::optional<bool> ok = ioWrite(*currentDevice, *mode, addressOf(addLine), tx.bytes.data(), tx.count);
    if (ok && !*ok)
        showIoFailure(QStringLiteral("%1 write failed: %2").arg(modeText, lastError(currentDevice)));
    else if (ok)
        showIoSuccess(confirmation(modeText, tx.count, "written"));
}

void MainForm::readClicked()
{
    if (!m_deviceGuard->allowsDeviceCalls())
        return;  // a long operation's worker owns the device until it ends
    const int size = iovalues::readSize(sizeLine->text().toInt(nullptr, 10));
    const QString modeText = modeComboBox->currentText();
    const std::optional<IoMode> mode = ioModeFromName(modeText.toStdString());
    unsigned char buffer[iovalues::kMaxBytes] = {};

    // none: the mode has no read call
    const std::optional<bool> ok =
        mode ? ioRead(*currentDevice, *mode, addressOf(addLine), buffer, size) : std::nullopt;
    if (!ok) {
        readDataLine->clear();
        showIoFailure(QStringLiteral("The \"%1\" mode cannot read.").arg(modeText));
    } else if (!*ok) {
        readDataLine->clear();
        showIoFailure(QStringLiteral("%1 read failed: %2").arg(modeText, lastError(currentDevice)));
    } else {
        readDataLine->setText(QString::fromLatin1(
            iovalues::formatBytes(buffer, static_cast<std::size_t>(size), baseOf(hexCheckBox)).c_str()));
        showIoSuccess(confirmation(modeText, size, "read"));
    }
}

void MainForm::showIoFailure(const QString& message)
{
    m_ioFailure = message;
    statusbar->showMessage(message);
}

void MainForm::showIoSuccess(const QString& message)
{
    if (!m_ioFailure.isEmpty() && statusbar->currentMessage() == m_ioFailure)
        statusbar->showMessage(message);
    m_ioFailure.clear();
}

// The mode takes effect because the read and write slots read the list's
// current text; choosing an entry stores nothing.
void MainForm::selectMode(QString /*mode*/) {}
