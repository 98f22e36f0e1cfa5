// SPDX-License-Identifier: MIT
#pragma once
#include <QObject>
#include <QString>

#include <optional>

class QStatusBar;
class QWidget;

// Keeps the status bar telling the truth:
// - a menu entry's empty status tip (sent when the pointer moves over or off
//   an entry) does not erase the current message; a non-empty tip shows
//   while it lasts and the message before it comes back afterwards;
// - a message too long for the bar is its tool tip while it is shown, so it
//   can be read in full.
class StatusBarKeeper : public QObject {
    Q_OBJECT

public:
    // Watches the status tips that reach `window` (the menus' tips go there).
    StatusBarKeeper(QWidget* window, QStatusBar* bar);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void messageChanged(const QString& message);

    QStatusBar* m_bar;
    std::optional<QString> m_beforeTip;  // the message a non-empty tip covers
    QString m_tip;                       // that tip
};
