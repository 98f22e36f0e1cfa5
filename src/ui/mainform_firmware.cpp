// The "USB firmware" and "FPGA firmware" pages.
//
// Every load and flash ends with a status-bar message that gives the
// library's reason on failure; paths go to the library in the platform's
// file-name encoding; the flash waits in an event loop woken by the worker's
// end, not by polling; and while it runs, the FlashGuard keeps every other
// caller away from the current device.
#include "flashguard.h"
#include "mainform.h"

#include "KoUSBLib.h"

#include <QEventLoop>
#include <QFile>
#include <QStatusBar>
#include <QThread>

#include <memory>

namespace {

// The worker's entry: its argument is the main form.
void flashThreadEntry(void* form)
{
    static_cast<MainForm*>(form)->flashEEPROMWorker();
}

QString lastError(KoUSBDevice* device)
{
    return QString::fromLatin1(device->GetLastError());
}

} // namespace

void MainForm::setupFirmwarePages()
{
    m_flashGuard = new FlashGuard(this);
    // Everything that calls the current device or the library. The file
    // dialogs and the path fields stay usable: they touch no device.
    const QList<QWidget*> deviceControls{flashEEPROMBtn, loadControllerBtn, loadFPGAButton, updateIdBtn,
                                         readBtn,        writeBtn,          runBtn,         devListTree};
    for (QWidget* control : deviceControls)
        m_flashGuard->addDeviceControl(control);
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
    if (path.isEmpty() || !m_flashGuard->allowsDeviceCalls())
        return;
    const QByteArray file = QFile::encodeName(path);
    if (currentDevice->DownloadXilinx(file.constData())) {
        statusbar->showMessage(QStringLiteral("FPGA configured from ") + path);
        infoWindow->setText(QString::fromLatin1(currentDevice->GetEndpointInfo()));  // names the design
    } else {
        statusbar->showMessage(QStringLiteral("Loading the FPGA from ") + path + QStringLiteral(" failed: ")
                               + lastError(currentDevice));
    }
}

void MainForm::loadController()
{
    const QString path = controllerFileLineEdit->text();
    if (path.isEmpty() || !m_flashGuard->allowsDeviceCalls())
        return;
    const QByteArray file = QFile::encodeName(path);
    if (currentDevice->LoadFirmwareFromFile(file.constData())) {
        statusbar->showMessage(QStringLiteral("Controller firmware loaded from ") + path);
        infoWindow->setText(QString::fromLatin1(currentDevice->GetEndpointInfo()));  // names the firmware
    } else {
        statusbar->showMessage(QStringLiteral("Loading the controller firmware from ") + path
                               + QStringLiteral(" failed: ") + lastError(currentDevice));
    }
}

// The wait is a local event loop that the worker's end quits, so the window
// paints, the bar moves and the menus work, while the GUI thread sleeps in
// the loop instead of polling. The end of the flash is handled in the
// finished handler itself, so it happens when the worker ends even if another
// modal loop (a file dialog, the About box) is running on top of this one.
void MainForm::flashEEPROM()
{
    const QString path = eepromFileLineEdit->text();
    if (path.isEmpty() || !m_flashGuard->begin())
        return;
    m_flashPath = QFile::encodeName(path);  // captured: editing the field now changes nothing
    {
        std::lock_guard<std::mutex> lock(m_flashResultMutex);
        m_flashOk = false;
        m_flashError.clear();
    }
    flashProgressBar->show();
    statusbar->showMessage(QStringLiteral("Flashing the EEPROM from ") + path + QStringLiteral(" ..."));

    std::unique_ptr<QThread> worker(QThread::create(flashThreadEntry, static_cast<void*>(this)));
    QEventLoop loop;
    bool ended = false;
    auto finish = [&]() {
        if (ended)
            return;
        ended = true;
        worker->wait();  // returns at once after finished()
        bool ok;
        QString reason;
        {
            std::lock_guard<std::mutex> lock(m_flashResultMutex);
            ok = m_flashOk;
            reason = QString::fromLatin1(m_flashError);
        }
        endFlash(path, ok, reason);
        loop.quit();
    };
    connect(worker.get(), &QThread::finished, &loop, finish);
    worker->start();
    if (!worker->isRunning() && !worker->isFinished()) {
        endFlash(path, false, QStringLiteral("the worker thread could not be started"));
        return;
    }
    loop.exec();
    // Left before the worker ended (the application is quitting: its exit
    // leaves every event loop, and a new one returns at once). The worker
    // still owns the device, so wait for it without the loop; a flash is
    // bounded by the EEPROM's size.
    if (!ended)
        finish();
}

void MainForm::flashEEPROMWorker()
{
    const bool ok = currentDevice->LoadHexFileToEeprom(m_flashPath.constData());
    const QByteArray error = currentDevice->GetLastError();
    std::lock_guard<std::mutex> lock(m_flashResultMutex);
    m_flashOk = ok;
    m_flashError = error;
}

// A device change that came during the flash was put off: a message by
// handleDeviceChange, a readable descriptor by the paused watch. Asking the
// library once now handles either (and drains the descriptor before the watch
// looks again); when nothing changed it does nothing. It comes before the
// result, so the flash's message is the one left in the status bar. The image
// may have rewritten the identity block, so a good flash reads the list again.
void MainForm::endFlash(const QString& path, bool ok, const QString& reason)
{
    flashProgressBar->hide();
    m_flashGuard->end();
    handleDeviceChange();
    if (ok) {
        updateDeviceList();
        statusbar->showMessage(QStringLiteral("EEPROM flashed from ") + path);
    } else {
        statusbar->showMessage(QStringLiteral("Flashing the EEPROM from ") + path + QStringLiteral(" failed: ")
                               + reason);
    }
}
