// SPDX-License-Identifier: MIT
#include "devicemessagefilter.h"

#include "devicechangemessage.h"

#include <QByteArray>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

bool DeviceMessageFilter::nativeEventFilter(const QByteArray& eventType, void* message, long* /*result*/)
{
#ifdef Q_OS_WIN
    if (eventType != QByteArray("windows_generic_MSG") || !m_onChange)
        return false;
    const MSG* msg = static_cast<const MSG*>(message);
    if (!devicechange::isArrivalOrRemoval(msg->message, static_cast<std::uintptr_t>(msg->wParam)))
        return false;
    m_onChange();
    return true;
#else
    Q_UNUSED(eventType)
    Q_UNUSED(message)
    return false;
#endif
}
