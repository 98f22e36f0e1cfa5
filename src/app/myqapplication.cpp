// SPDX-License-Identifier: MIT
#include "myqapplication.h"

#include "devicechangewatch.h"
#include "devicemessagefilter.h"
#include "deviceguard.h"
#include "KoUSBLib.h"
#include "mainform.h"

#ifdef Q_OS_WIN
#include <windows.h>
#include <dbt.h>
#endif

MyQApplication::MyQApplication(int& argc, char** argv) : QApplication(argc, argv) {}

MyQApplication::~MyQApplication()
{
    disconnect(m_pauseWatch);
    if (m_filter)
        removeNativeEventFilter(m_filter.get());
}

bool MyQApplication::registerDeviceNotification()
{
    auto notify = [this]() {
        if (mainForm)
            mainForm->handleDeviceChange();
    };
#ifdef Q_OS_WIN
    // Every USB device interface, not only our boards: the library decides
    // whether anything changed for it.
    static const GUID usbDeviceInterface = {
        0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
    DEV_BROADCAST_DEVICEINTERFACE_W filter;
    ZeroMemory(&filter, sizeof filter);
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = usbDeviceInterface;
    if (mainForm)
        RegisterDeviceNotificationW(reinterpret_cast<HANDLE>(mainForm->winId()), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    m_filter = std::make_unique<DeviceMessageFilter>(notify);
    installNativeEventFilter(m_filter.get());
#else
    disconnect(m_pauseWatch);
    m_watch = std::make_unique<DeviceChangeWatch>(GetDeviceChangeDescriptor(), notify);
    if (mainForm) {
        DeviceChangeWatch* watch = m_watch.get();
        m_pauseWatch = connect(mainForm->deviceGuard(), &DeviceGuard::busyChanged, this,
                               [watch](bool busy) { watch->setPaused(busy); });
    }
#endif
    return true;
}
