// SPDX-License-Identifier: MIT
// What makes the window readable at its fixed geometry: a status bar that
// keeps its message and shows long ones in full, the endpoint table in a
// fixed-pitch font, and texts that fit the widgets they are drawn in.
#include "mainform.h"

#include "statusbarkeeper.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>

#include <algorithm>

namespace {

// The text a widget of fixed geometry shows and the room its style draws it
// in; an empty text for widgets that show none (or that a layout sizes to
// their text).
struct TextRoom {
    QString text;
    QRect room;
};

TextRoom textRoom(QWidget* w)
{
    if (w->parentWidget() && w->parentWidget()->layout())
        return {};
    QStyleOptionButton opt;
    opt.initFrom(w);
    if (auto* check = qobject_cast<QCheckBox*>(w)) {
        opt.text = check->text();
        return {check->text(), w->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, w)};
    }
    if (auto* button = qobject_cast<QPushButton*>(w)) {
        opt.text = button->text();
        return {button->text(), w->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, w)};
    }
    if (auto* label = qobject_cast<QLabel*>(w))
        return {label->text(), label->contentsRect().adjusted(label->margin(), 0, -label->margin(), 0)};
    return {};
}

bool fits(const QFont& font, const TextRoom& t)
{
    const QFontMetrics fm(font);
    return fm.horizontalAdvance(t.text) <= t.room.width() && fm.height() <= t.room.height();
}

// Where a text is wider than its widget (a longer translation, a wider
// font), the font of its group is narrowed: a little tighter letter spacing
// first, then half points smaller, down to a floor; geometry stays as it is.
// Widgets of one group (captions of one column, buttons of one kind) keep one
// font, so they still look alike.
void fitTexts(const QList<QWidget*>& group)
{
    QList<TextRoom> texts;
    for (QWidget* w : group) {
        w->ensurePolished();
        if (TextRoom t = textRoom(w); !t.text.isEmpty())
            texts.append(t);
    }
    if (texts.isEmpty())
        return;
    auto allFit = [&](const QFont& font) {
        return std::all_of(texts.begin(), texts.end(), [&](const TextRoom& t) { return fits(font, t); });
    };
    QFont font = group.first()->font();
    if (allFit(font))
        return;
    constexpr double kFloorPoints = 6.0;
    for (double spacing : {97.0, 94.0}) {
        font.setLetterSpacing(QFont::PercentageSpacing, spacing);
        if (allFit(font))
            break;
    }
    while (!allFit(font) && font.pointSizeF() - 0.5 >= kFloorPoints)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    for (QWidget* w : group)
        w->setFont(font);
}

}  // namespace

void MainForm::setupReadability()
{
    m_statusKeeper = new StatusBarKeeper(this, statusbar);

    // The endpoint table lines its columns up with spaces.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(font().pointSizeF());
    infoWindow->setFont(fixed);

    const QList<QList<QWidget*>> groups{{label, label_2, label_3}, {loadControllerBtn, flashEEPROMBtn, loadFPGAButton}};
    for (const QList<QWidget*>& group : groups)
        fitTexts(group);
    for (QWidget* w : centralwidget->findChildren<QWidget*>()) {
        if (std::none_of(groups.begin(), groups.end(), [w](const QList<QWidget*>& g) { return g.contains(w); }))
            fitTexts({w});
    }
}
