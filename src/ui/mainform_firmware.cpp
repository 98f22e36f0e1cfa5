// SPDX-License-Identifier: MIT
// The "USB firmware" and "FPGA firmware" pages.
//
// Every load and flash ends with a status-bar message that gives the
// library's reason on failure; paths go to the library in the platform's
// file-name encoding; the flash runs on a worker thread (mainform_worker.cpp)
// while the DeviceGuard keeps every other caller away from the current
// device. Each load or flash, good or failed, is followed by a fresh read of
// the board's identity from the same board, since it may have rewritten it.
// A flash saves the EEPROM first (eeprombackups.h) and names the backup.
#include "deviceguard.h"
#include "mainform.h"

#include "KoUSBLib.h"
#include "eeprombackups.h"

#include <QFile>
#include <QStatusBar>

namespace {

QString lastError(KoUSBDevice* device) { return QString::fromLatin1(device->GetLastError()); }

}  // namespace

void MainForm::setupFirmwarePages()
{
    m_deviceGuard = new DeviceGuard(this);
    // Everything that calls the current device or the library. The file
    // dialogs and the path fields stay usable: they touch no device.
    const QList<QWidget*> deviceControls{flashEEPROMBtn, loadControllerBtn, loadFPGAButton, updateIdBtn,
                                         readBtn,        writeBtn,          runBtn,         devListTree};
    for (QWidget* control : deviceControls)
        m_deviceGuard->addDeviceControl(control);
}

void MainForm::openFPGADialog()
{
    const QString file = fpgaDialogState.runDialog(QStringLiteral("Select FPGA configuration file"),
                                                   QStringLiteral("Bit Files (*.bit)"), false);
    if (!file.isEmpty())
        fpgaFileLineEdit->setText(file);
}

void MainForm::openEEPROMDialog()
{
    const QString file = eepromDialogState.runDialog(QStringLiteral("Select USB controller firmware"),
                                                     QStringLiteral("HEX Files (*.hex)"), false);
    if (!file.isEmpty())
        eepromFileLineEdit->setText(file);
}

void MainForm::openControllerDialog()
{
    const QString file = controllerDialogState.runDialog(QStringLiteral("Select USB controller firmware"),
                                                         QStringLiteral("BIX Files (*.bix)"), true);
    if (!file.isEmpty())
        controllerFileLineEdit->setText(file);
}

void MainForm::loadFPGA()
{
    const QString path = fpgaFileLineEdit->text();
    if (path.isEmpty() || !m_deviceGuard->allowsDeviceCalls())
        return;
    const QByteArray file = QFile::encodeName(path);
    void* const board = m_currentHandle;
    const QString before = currentIdentity();
    const bool ok = currentDevice->DownloadXilinx(file.constData());
    const QString reason = lastError(currentDevice);
    refreshCurrentDevice();  // the Info page names the design
    if (ok)
        statusbar->showMessage(QStringLiteral("FPGA configured from ") + path + identityChange(board, before));
    else
        statusbar->showMessage(QStringLiteral("Loading the FPGA from ") + path + QStringLiteral(" failed: ") + reason
                               + identityChange(board, before));
}

void MainForm::loadController()
{
    const QString path = controllerFileLineEdit->text();
    if (path.isEmpty() || !m_deviceGuard->allowsDeviceCalls())
        return;
    const QByteArray file = QFile::encodeName(path);
    void* const board = m_currentHandle;
    const QString before = currentIdentity();
    const bool ok = currentDevice->LoadFirmwareFromFile(file.constData());
    const QString reason = lastError(currentDevice);
    refreshCurrentDevice();  // the firmware version, and the Info page names the firmware
    if (ok)
        statusbar->showMessage(QStringLiteral("Controller firmware loaded from ") + path
                               + identityChange(board, before));
    else
        statusbar->showMessage(QStringLiteral("Loading the controller firmware from ") + path
                               + QStringLiteral(" failed: ") + reason + identityChange(board, before));
}

// The flash runs on a worker thread while the window stays live (see
// runOnWorker); the path is captured first, so editing the field meanwhile
// changes nothing. The library checks that the board would still boot from
// the image and saves the EEPROM to a new backup before it writes; a flash
// whose backup cannot be made does not start.
void MainForm::flashEEPROM()
{
    const QString path = eepromFileLineEdit->text();
    if (path.isEmpty() || !m_deviceGuard->begin())
        return;
    std::string backup, problem;
    if (!backups::newBackupPath(backups::folder(), currentDevice->GetId(), currentDevice->GetPlace(), backup,
                                problem)) {
        m_deviceGuard->end();
        statusbar->showMessage(QStringLiteral("Flashing the EEPROM from ") + path + QStringLiteral(" failed: ")
                               + QString::fromStdString(problem) + QStringLiteral("; nothing was written"));
        return;
    }
    m_flashPath = QFile::encodeName(path);
    m_flashBackupPath = QByteArray::fromStdString(backup);
    {
        std::lock_guard<std::mutex> lock(m_flashResultMutex);
        m_flashOk = false;
        m_flashError.clear();
        m_flashBackup.clear();
    }
    void* const board = m_currentHandle;
    const QString before = currentIdentity();
    flashProgressBar->show();
    statusbar->showMessage(QStringLiteral("Flashing the EEPROM from ") + path + QStringLiteral(" ..."));
    runOnWorker([this] { flashEEPROMWorker(); },
                [this, path, board, before](bool ran) {
                    bool ok = false;
                    QString reason = QStringLiteral("the worker thread could not be started");
                    QString backup;
                    if (ran) {
                        std::lock_guard<std::mutex> lock(m_flashResultMutex);
                        ok = m_flashOk;
                        reason = QString::fromLatin1(m_flashError);
                        backup = QFile::decodeName(m_flashBackup);
                    }
                    endFlash(path, ok, reason, backup, board, before);
                });
}

void MainForm::flashEEPROMWorker()
{
    const bool ok = currentDevice->LoadHexFileToEepromWithBackup(m_flashPath.constData(), m_flashBackupPath.constData(),
                                                                 0, nullptr, nullptr);
    const QByteArray error = currentDevice->GetLastError();
    const QByteArray backup = currentDevice->GetLastBackup();
    std::lock_guard<std::mutex> lock(m_flashResultMutex);
    m_flashOk = ok;
    m_flashError = error;
    m_flashBackup = backup;
}

// The image may have rewritten the identity block, also when the flash
// failed half-way or its verification did, so every flash reads the list, the
// Info page and the identification fields again from the same board and says
// so when the board's name or ID changed. A backup that was made is named
// after the image, whatever became of the flash.
void MainForm::endFlash(const QString& path, bool ok, const QString& reason, const QString& backup, void* boardBefore,
                        const QString& identityBefore)
{
    flashProgressBar->hide();
    refreshCurrentDevice();
    const QString from = path + (backup.isEmpty() ? QString() : QStringLiteral(" (backup: ") + backup + ")");
    if (ok)
        statusbar->showMessage(QStringLiteral("EEPROM flashed from ") + from
                               + identityChange(boardBefore, identityBefore));
    else
        statusbar->showMessage(QStringLiteral("Flashing the EEPROM from ") + from + QStringLiteral(" failed: ") + reason
                               + identityChange(boardBefore, identityBefore));
}

// "; the board is now NAME with ID n" when the current board is still
// `board` and its identity differs from `before`, else empty (when a device
// change put another board in its place, the operation's message tells of
// the board it worked on).
QString MainForm::identityChange(void* board, const QString& before) const
{
    const QString now = currentIdentity();
    if (m_currentHandle != board || now.isEmpty() || now == before)
        return QString();
    return QStringLiteral("; the board is now ") + now;
}
