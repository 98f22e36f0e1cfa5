// The "IO Tests" page: a few bytes at a time through one access mode.
//
// The slots stay thin: the text codec (iovalues.h) and the mode names
// (iomode.h) are pure helpers with tests of their own. Each slot reads the
// page's widgets when it runs and makes at most one call on currentDevice.
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
    const int address = addressOf(addLine);
    const auto address16 = static_cast<unsigned short>(address);
    const auto address8 = static_cast<unsigned char>(address);
    const auto count16 = static_cast<unsigned short>(tx.count);
    unsigned char* buffer = tx.bytes.data();

    bool ok = true;
    switch (*mode) {
    case IoMode::External: ok = currentDevice->WriteExternal(address16, buffer, tx.count); break;
    case IoMode::Fpga: ok = currentDevice->WriteXilinx(address16, buffer, tx.count); break;
    case IoMode::Block: ok = currentDevice->WriteBlock(buffer, tx.count); break;
    case IoMode::I2c: ok = currentDevice->WriteI2C(address8, buffer, count16); break;
    case IoMode::Command: ok = currentDevice->WriteCommand(buffer, count16); break;
    case IoMode::Controller: ok = currentDevice->Write8051(address16, buffer, count16); break;
    case IoMode::Interrupt: ok = currentDevice->WriteInterrupt(buffer); break;
    case IoMode::Spi: ok = currentDevice->WriteSPI(address, buffer, count16); break;
    case IoMode::Uart: ok = currentDevice->WriteSerial(buffer, count16); break;
    case IoMode::Eeprom: return;  // moves no data
    }
    if (!ok)
        statusbar->showMessage(QStringLiteral("%1 write failed: %2").arg(modeText, lastError(currentDevice)));
}

void MainForm::readClicked()
{
    if (!m_flashGuard->allowsDeviceCalls())
        return;  // the flash worker owns the device until it ends
    const int size = iovalues::readSize(sizeLine->text().toInt(nullptr, 10));
    const QString modeText = modeComboBox->currentText();
    const std::optional<IoMode> mode = ioModeFromName(modeText.toStdString());
    const int address = addressOf(addLine);
    const auto address16 = static_cast<unsigned short>(address);
    const auto address8 = static_cast<unsigned char>(address);
    const auto size16 = static_cast<unsigned short>(size);
    unsigned char buffer[iovalues::kMaxBytes] = {};

    std::optional<bool> ok;  // none: the mode has no read call
    switch (mode.value_or(IoMode::Eeprom)) {
    case IoMode::External: ok = currentDevice->ReadExternal(address16, buffer, size); break;
    case IoMode::Fpga: ok = currentDevice->ReadXilinx(address16, buffer, size); break;
    case IoMode::Block: ok = currentDevice->ReadBlock(buffer, size); break;
    case IoMode::I2c: ok = currentDevice->ReadI2C(address8, buffer, size16); break;
    case IoMode::Controller: ok = currentDevice->Read8051(address16, buffer, size16); break;
    case IoMode::Interrupt: ok = currentDevice->ReadInterrupt(buffer); break;
    case IoMode::Spi: ok = currentDevice->ReadSPI(address, buffer, size16); break;
    case IoMode::Uart: ok = currentDevice->ReadSerial(buffer, size16); break;
    case IoMode::Command:
    case IoMode::Eeprom: break;
    }

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
