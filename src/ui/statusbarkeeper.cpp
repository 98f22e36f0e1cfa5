// SPDX-License-Identifier: MIT
#include "statusbarkeeper.h"

#include <QSizeGrip>
#include <QStatusBar>
#include <QStatusTipEvent>

StatusBarKeeper::StatusBarKeeper(QWidget* window, QStatusBar* bar) : QObject(window), m_bar(bar)
{
    window->installEventFilter(this);
    connect(bar, &QStatusBar::messageChanged, this, &StatusBarKeeper::messageChanged);
}

bool StatusBarKeeper::eventFilter(QObject* /*watched*/, QEvent* event)
{
    if (event->type() != QEvent::StatusTip)
        return false;
    const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
    if (!tip.isEmpty()) {
        if (!m_beforeTip)
            m_beforeTip = m_bar->currentMessage();
        m_tip = tip;
        return false;  // the window shows it
    }
    if (m_beforeTip) {
        const QString message = *m_beforeTip;
        m_beforeTip.reset();
        m_bar->showMessage(message);
    }
    return true;  // an empty tip erases nothing
}

// The bar draws its message between 6 pixels from the left and 12 from the
// right, or the size grip when one shows.
void StatusBarKeeper::messageChanged(const QString& message)
{
    if (m_beforeTip && message != m_tip)
        m_beforeTip.reset();  // a new message came while a tip showed: it stays
    int right = m_bar->width() - 12;
    if (const QSizeGrip* grip = m_bar->findChild<QSizeGrip*>(); grip && grip->isVisible())
        right = grip->x();
    const bool fits = m_bar->fontMetrics().horizontalAdvance(message) <= right - 6;
    m_bar->setToolTip(fits ? QString() : message);
}
