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
// successful transfer leaves the status bar alone.
#include "mainform.h"

#include "KoUSBLib.h"
#include "flashguard.h"
#include "iomode.h"
#include "iovalues.h"

#include <QStatusBar>

#include <optional>

namespace {

iovalues::Base baseOf(const QCheckBox* hex)
{
    return hex->isChecked() ? iovalues::Base::Hex : iovalues::Base::Decimal;
}

// The address field as a decimal int, 0 when it is none (also with "hex").
int addressOf(const QLineEdit* line)
{
    return line->text().toInt(nullptr, 10);
}

QString lastError(KoUSBDevice* device)
{
    return QString::fromLatin1(device->GetLastError());
}

} // namespace

void MainForm::writeClicked()
{
    if (!m_flashGuard->allowsDeviceCalls())
        return;  // the flash worker owns the device until it ends
    iovalues::Transmit tx = iovalues::transmitBuffer(writeDataLine->text().toStdString(), baseOf(hexCheckBox));
    sizeLine->setText(QString::number(tx.count, 10));

    const QString modeText = modeComboBox->currentText();
    const std::optional<IoMode> mode = ioModeFromName(modeText.toStdString());
    if (!mode)
        return;
    const std::optional<bool> ok = ioWrite(*currentDevice, *mode, addressOf(addLine), tx.bytes.data(), tx.count);
    if (ok && !*ok)
        statusbar->showMessage(QStringLiteral("%1 write failed: %2").arg(modeText, lastError(currentDevice)));
}

void MainForm::readClicked()
{
    if (!m_flashGuard->allowsDeviceCalls())
        return;  // the flash worker owns the device until it ends
    const int size = iovalues::readSize(sizeLine->text().toInt(nullptr, 10));
    const QString modeText = modeComboBox->currentText();
    const std::optional<IoMode> mode = ioModeFromName(modeText.toStdString());
    unsigned char buffer[iovalues::kMaxBytes] = {};

    // none: the mode has no read call
    const std::optional<bool> ok
        = mode ? ioRead(*currentDevice, *mode, addressOf(addLine), buffer, size) : std::nullopt;
    if (!ok) {
        readDataLine->clear();
        statusbar->showMessage(QStringLiteral("The \"%1\" mode cannot read.").arg(modeText));
    } else if (!*ok) {
        readDataLine->clear();
        statusbar->showMessage(QStringLiteral("%1 read failed: %2").arg(modeText, lastError(currentDevice)));
    } else {
        readDataLine->setText(QString::fromLatin1(
            iovalues::formatBytes(buffer, static_cast<std::size_t>(size), baseOf(hexCheckBox)).c_str()));
    }
}

// The mode takes effect because the read and write slots read the list's
// current text; choosing an entry stores nothing.
void MainForm::selectMode(QString /*mode*/) {}
