// SPDX-License-Identifier: MIT
#pragma once
#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

// The one place that decides what may touch the current device while a long
// operation (the EEPROM flash, a benchmark run) works on a thread of its own.
// From begin() to end() that worker owns the device: the registered device
// controls are disabled, and slots and the device-change handler that ask
// allowsDeviceCalls() get false. The operation's end asks the library once
// for device changes, which handles every notification put off meanwhile
// (see MainForm::runOnWorker).
//
// Each control is disabled itself, not through its page, so that enabling the
// page meanwhile (expert mode switched off and on again) leaves it disabled.
// GUI thread only.
class DeviceGuard : public QObject {
    Q_OBJECT

public:
    explicit DeviceGuard(QObject* parent = nullptr);

    // A control that calls the device (a button, the device list). While an
    // operation runs it is disabled; afterwards it gets back its own enabled state.
    void addDeviceControl(QWidget* control);

    // Starts an operation: false, changing nothing, if one runs already.
    bool begin();
    // Ends it: gives the controls back. Does nothing when none runs.
    void end();

    bool isBusy() const { return m_busy; }
    // Asked by every slot that would call the device or the library, and by
    // the device-change handler.
    bool allowsDeviceCalls() const { return !m_busy; }

signals:
    // After begin() (true) and after end() (false): a device-change source
    // that would otherwise fire again and again (a level-triggered
    // descriptor nobody drains) pauses on true and resumes on false.
    void busyChanged(bool busy);

private:
    struct Control {
        QPointer<QWidget> widget;
        bool ownEnabled = true;
    };
    QList<Control> m_controls;
    bool m_busy = false;
};
