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

private:
    QSocketNotifier* m_notifier = nullptr;
};
