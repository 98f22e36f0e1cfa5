// SPDX-License-Identifier: MIT
#include "deviceguard.h"

DeviceGuard::DeviceGuard(QObject* parent) : QObject(parent) {}

void DeviceGuard::addDeviceControl(QWidget* control)
{
    Control entry;
    entry.widget = control;
    m_controls.append(entry);
    if (m_busy) {
        m_controls.last().ownEnabled = !control->testAttribute(Qt::WA_ForceDisabled);
        control->setEnabled(false);
    }
}

bool DeviceGuard::begin()
{
    if (m_busy)
        return false;
    m_busy = true;
    for (Control& control : m_controls) {
        if (!control.widget)
            continue;
        // WA_ForceDisabled is the control's own setEnabled(false), apart from
        // what its parents say.
        control.ownEnabled = !control.widget->testAttribute(Qt::WA_ForceDisabled);
        control.widget->setEnabled(false);
    }
    emit busyChanged(true);
    return true;
}

void DeviceGuard::end()
{
    if (!m_busy)
        return;
    m_busy = false;
    for (const Control& control : m_controls)
        if (control.widget)
            control.widget->setEnabled(control.ownEnabled);
    emit busyChanged(false);
}
