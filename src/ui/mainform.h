#pragma once
#include "filedialogmemory.h"
#include "ui_mainwindow.h"

#include <QByteArray>
#include <QList>
#include <QMainWindow>

#include <mutex>

class FlashGuard;
class KoUSBDevice;
class QIcon;
class QTreeWidgetItem;
class QwtPlotCurve;

// The program's one window. Its public slots are the operations of the tool;
// each runs on the GUI thread and acts on `currentDevice`. The code is split
// by page: mainform.cpp holds construction and the device list, and each work
// page has a mainform_<page>.cpp of its own.
class MainForm : public QMainWindow, public Ui_MainWindow {
    Q_OBJECT

public:
    MainForm();
    ~MainForm() override;

    void updateDeviceList();
    void updateCurrentDevice(int id);
    void handleDeviceChange();
    void flashEEPROMWorker();

    // What may touch the current device while the EEPROM flash runs
    // (mainform_firmware.cpp); the application layer pauses its
    // device-change watch on the guard's busyChanged().
    FlashGuard* flashGuard() const { return m_flashGuard; }

public slots:
    void openFPGADialog();
    void openEEPROMDialog();
    void openControllerDialog();
    void loadFPGA();
    void loadController();
    void flashEEPROM();
    void updateDeviceId();
    void listItemClicked(QTreeWidgetItem* item, int column);
    void showAbout();
    void writeClicked();
    void readClicked();
    void selectMode(QString mode);
    void runBenchmark();
    void expertModeChanged();

private:
    void setupBenchmarkPlot();
    void setupFirmwarePages();
    void endFlash(const QString& path, bool ok, const QString& reason);

    KoUSBDevice* currentDevice = nullptr;
    QIcon* usbIcon = nullptr;
    QList<QTreeWidgetItem*> deviceItems;
    QwtPlotCurve* writeCurve = nullptr;
    QwtPlotCurve* readCurve = nullptr;

    // Firmware pages (mainform_firmware.cpp).
    FileDialogMemory fpgaDialogState;
    FileDialogMemory controllerDialogState;
    FileDialogMemory eepromDialogState;
    FlashGuard* m_flashGuard = nullptr;
    // Written before the worker starts, read by it; its results are read
    // after it has ended.
    QByteArray m_flashPath;
    // The worker's result, handed over under a lock of its own rather than
    // through Qt's thread end alone, so the hand-over is explicit (and visible
    // to ThreadSanitizer, which cannot see into Qt's own locks).
    std::mutex m_flashResultMutex;
    bool m_flashOk = false;
    QByteArray m_flashError;
};
