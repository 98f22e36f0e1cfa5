// SPDX-License-Identifier: MIT
#pragma once
#include <QApplication>

#include <memory>

class MainForm;
class DeviceChangeWatch;
class DeviceMessageFilter;

// The application object: routes the operating system's device-change
// notifications to the main form's handleDeviceChange().
class MyQApplication : public QApplication {
public:
    MyQApplication(int& argc, char** argv);
    ~MyQApplication() override;

    // Starts the notifications for `mainForm`; set mainForm first. On Windows
    // the main window registers for USB device-interface messages; on Linux
    // the board library's device-change descriptor is watched, paused while
    // the form's EEPROM flash runs (a change that comes meanwhile is handled
    // after it).
    bool registerDeviceNotification();

    MainForm* mainForm = nullptr;

private:
    std::unique_ptr<DeviceChangeWatch> m_watch;
    std::unique_ptr<DeviceMessageFilter> m_filter;
    QMetaObject::Connection m_pauseWatch;
};
