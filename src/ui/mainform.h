// SPDX-License-Identifier: MIT
#pragma once
#include "filedialogmemory.h"
#include "ui_mainwindow.h"

#include <QByteArray>
#include <QList>
#include <QMainWindow>

#include <functional>
#include <mutex>

class DeviceGuard;
class StatusBarKeeper;
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

    // What may touch the current device while a long operation (EEPROM
    // flash, benchmark run) works on its own thread; the application layer
    // pauses its device-change watch on the guard's busyChanged().
    DeviceGuard* deviceGuard() const { return m_deviceGuard; }

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

protected:
    // Becoming the active window reads the current board again.
    void changeEvent(QEvent* event) override;

private:
    void setupBenchmarkPlot();
    void setupFirmwarePages();
    void setupReadability();
    void endFlash(const QString& path, bool ok, const QString& reason, const QString& backup, void* boardBefore,
                  const QString& identityBefore);
    QString identityChange(void* board, const QString& before) const;

    // Runs `work` on a thread of its own while the GUI thread keeps handling
    // events, the device guard already begun by the caller. When the worker
    // has ended: ends the guard, handles the device changes put off
    // meanwhile, then calls `finish` (with false if the thread could not be
    // started) on the GUI thread. Returns after `finish`.
    void runOnWorker(const std::function<void()>& work, const std::function<void(bool ran)>& finish);

    // Selects the row of the board `currentDevice` is bound to (none when
    // it is bound to no board or that board has no row).
    void markCurrentRow();
    // IO page status: a failure is shown and remembered; a success replaces
    // it with `message` while the bar still shows it, else shows nothing.
    void showIoFailure(const QString& message);
    void showIoSuccess(const QString& message);

    // Binds `currentDevice` to `handle` (null: no board) and shows the
    // outcome: the status bar, the Info page and the identification fields.
    enum class FieldFill { Replace, KeepEdits };
    void chooseBoard(void* handle, FieldFill fill);
    // The Identification page's fields from the current board. With
    // KeepEdits a field the user is at (it has the window's focus, or was
    // edited since it was last filled) keeps its text.
    void fillIdentityFields(FieldFill fill);

    // The handles of the attached boards, in slot order.
    static QList<void*> attachedBoards();
    // The current board as "NAME with ID n"; empty when bound to no board.
    QString currentIdentity() const;
    // The same as the current board's row shows it; empty when it has none.
    QString shownIdentity() const;
    // After the current board or another one changed what it shows (an
    // operation of this window, another program, a re-read): the list, its
    // mark, the Info page, the identification fields the user is not at and,
    // when the current board's name or ID changed, the status bar, all read
    // again; the current board stays the current one.
    void refreshCurrentDevice();
    // Real boards tell nobody when another program writes their identity:
    // the current board's is read again each time the window becomes active.
    void rereadCurrentDevice();

    KoUSBDevice* currentDevice = nullptr;
    QIcon* usbIcon = nullptr;
    QList<QTreeWidgetItem*> deviceItems;
    QList<void*> m_rowHandles;        // the board of each row of deviceItems
    void* m_currentHandle = nullptr;  // the board currentDevice is bound to
    QString m_ioFailure;              // the IO failure message last shown
    QwtPlotCurve* writeCurve = nullptr;
    QwtPlotCurve* readCurve = nullptr;

    // Firmware pages (mainform_firmware.cpp).
    FileDialogMemory fpgaDialogState;
    FileDialogMemory controllerDialogState;
    FileDialogMemory eepromDialogState;
    DeviceGuard* m_deviceGuard = nullptr;
    StatusBarKeeper* m_statusKeeper = nullptr;
    // Written before the worker starts, read by it; its results are read
    // after it has ended.
    QByteArray m_flashPath;
    QByteArray m_flashBackupPath;
    // The worker's result, handed over under a lock of its own rather than
    // through Qt's thread end alone, so the hand-over is explicit (and visible
    // to ThreadSanitizer, which cannot see into Qt's own locks).
    std::mutex m_flashResultMutex;
    bool m_flashOk = false;
    QByteArray m_flashError;
    QByteArray m_flashBackup;  // the backup's path when one was made
};
