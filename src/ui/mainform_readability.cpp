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
// font), the widget's font is narrowed: a little tighter letter spacing
// first, then half points smaller, down to a floor; geometry stays as it is.
void fitText(QWidget* w)
{
    w->ensurePolished();
    const TextRoom t = textRoom(w);
    if (t.text.isEmpty() || fits(w->font(), t))
        return;
    QFont font = w->font();
    constexpr double kFloorPoints = 6.0;
    for (double spacing : {97.0, 94.0}) {
        font.setLetterSpacing(QFont::PercentageSpacing, spacing);
        if (fits(font, t))
            return w->setFont(font);
    }
    while (!fits(font, t) && font.pointSizeF() - 0.5 >= kFloorPoints)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    w->setFont(font);
}

} // namespace

void MainForm::setupReadability()
{
    m_statusKeeper = new StatusBarKeeper(this, statusbar);

    // The endpoint table lines its columns up with spaces.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(font().pointSizeF());
    infoWindow->setFont(fixed);

    for (QWidget* w : centralwidget->findChildren<QWidget*>())
        fitText(w);
}
