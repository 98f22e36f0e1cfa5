// SPDX-License-Identifier: MIT
#pragma once
#include <functional>

class QObject;
class QSocketNotifier;

// Calls `onChange` on the GUI thread whenever the board library's
// device-change descriptor becomes readable: how boards plugged in or out
// reach the window on Linux, without polling.
class DeviceChangeWatch {
public:
    DeviceChangeWatch(int descriptor, std::function<void()> onChange, QObject* parent = nullptr);
    ~DeviceChangeWatch();
    DeviceChangeWatch(const DeviceChangeWatch&) = delete;
    DeviceChangeWatch& operator=(const DeviceChangeWatch&) = delete;

    bool isWatching() const { return m_notifier != nullptr; }

    // While paused, `onChange` is not called. The descriptor is
    // level-triggered and only OnDeviceChange drains it, so a handler that
    // must put a change off (the EEPROM flash) pauses the watch instead of
    // being woken again and again; a change that came meanwhile is still
    // pending in the descriptor and reported as soon as the watch resumes.
    void setPaused(bool paused);

private:
    QSocketNotifier* m_notifier = nullptr;
};
