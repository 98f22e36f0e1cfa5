// SPDX-License-Identifier: MIT
#include "devicechangewatch.h"

#include <QSocketNotifier>

DeviceChangeWatch::DeviceChangeWatch(int descriptor, std::function<void()> onChange, QObject* parent)
{
    if (descriptor < 0)
        return;
    m_notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, parent);
    QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier,
                     [onChange = std::move(onChange)]() { onChange(); });
}

DeviceChangeWatch::~DeviceChangeWatch() { delete m_notifier; }

void DeviceChangeWatch::setPaused(bool paused)
{
    if (m_notifier)
        m_notifier->setEnabled(!paused);
}
