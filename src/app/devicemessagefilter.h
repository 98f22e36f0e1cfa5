// SPDX-License-Identifier: MIT
#pragma once
#include <QAbstractNativeEventFilter>

#include <functional>

// Sees every native message of the process and hands device arrivals and
// removals to `onChange`, consuming them; everything else goes on to Qt.
// Only Windows sends such messages; elsewhere the filter never fires.
class DeviceMessageFilter : public QAbstractNativeEventFilter {
public:
    explicit DeviceMessageFilter(std::function<void()> onChange) : m_onChange(std::move(onChange)) {}
    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;

private:
    std::function<void()> m_onChange;
};
