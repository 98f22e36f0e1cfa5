// The window as it is drawn: every fixed text fits the rectangle the style
// draws it in, at the window's fixed geometry and with the fonts installed
// (Debian's default, DejaVu Sans).
#include "mainform.h"
#include "simboards.h"

#include <QHeaderView>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QtTest>

namespace {

// The text as drawn: without the mnemonic marker.
QString shown(QString text)
{
    return text.replace(QStringLiteral("&&"), QStringLiteral("\x01"))
        .remove(QLatin1Char('&'))
        .replace(QChar(1), QLatin1Char('&'));
}

// Where each widget kind draws its text, and the width that text needs.
struct Fit {
    QString what;
    int need = 0;
    QRect room;
};

QList<Fit> fitsOf(QWidget* w)
{
    QList<Fit> fits;
    const QFontMetrics fm = w->fontMetrics();
    QStyle* style = w->style();
    const QString name = w->objectName();
    if (auto* check = qobject_cast<QCheckBox*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(check);
        opt.text = check->text();
        fits.append({name, fm.horizontalAdvance(shown(check->text())),
                     style->subElementRect(QStyle::SE_CheckBoxContents, &opt, check)});
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(button);
        opt.text = button->text();
        fits.append({name, fm.horizontalAdvance(shown(button->text())),
                     style->subElementRect(QStyle::SE_PushButtonContents, &opt, button)});
    } else if (auto* tool = qobject_cast<QToolButton*>(w)) {
        const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, tool) / 2;
        fits.append({name, fm.horizontalAdvance(tool->text()), tool->rect().adjusted(margin, 0, -margin, 0)});
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        if (!label->text().isEmpty())
            fits.append({name, fm.horizontalAdvance(label->text()),
                         label->contentsRect().adjusted(label->margin(), 0, -label->margin(), 0)});
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        QStyleOptionComboBox opt;
        opt.initFrom(combo);
        opt.editable = combo->isEditable();
        const QRect field = style->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i)
            fits.append({name + ": " + combo->itemText(i), fm.horizontalAdvance(combo->itemText(i)), field});
    } else if (auto* header = qobject_cast<QHeaderView*>(w)) {
        const int margin = style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        const QAbstractItemModel* model = header->model();
        for (int i = 0; i < header->count(); ++i) {
            const QString text = model->headerData(i, header->orientation()).toString();
            fits.append({"header " + text, fm.horizontalAdvance(text),
                         QRect(0, 0, header->sectionSize(i) - 2 * margin, header->height())});
        }
    } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
        // Tabs take the width their text needs as long as they all fit.
        if (tabs->count() > 0)
            fits.append({name + " tabs", tabs->tabRect(tabs->count() - 1).right() + 1, tabs->rect()});
    }
    return fits;
}

} // namespace

class TestWindowText : public QObject {
    Q_OBJECT

    SimBoards boards;

private slots:
    void everyTextFits()
    {
        boards.plug(0, 1, "Demo board A");
        MainForm form;
        form.actionExpertMode->trigger();  // the firmware pages as an expert sees them
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        int checked = 0;
        QStringList cut;
        for (int page = 0; page < form.tabWidget->count(); ++page) {
            form.tabWidget->setCurrentIndex(page);
            QCoreApplication::processEvents();
            QList<QWidget*> widgets = form.tabWidget->widget(page)->findChildren<QWidget*>();
            widgets << form.tabWidget->findChild<QTabBar*>(QString(), Qt::FindDirectChildrenOnly);
            for (QWidget* w : widgets) {
                for (const Fit& fit : fitsOf(w)) {
                    ++checked;
                    if (fit.need > fit.room.width() || w->fontMetrics().height() > fit.room.height())
                        cut << QStringLiteral("%1 needs %2 x %3 px, has %4 x %5")
                                   .arg(fit.what).arg(fit.need).arg(w->fontMetrics().height())
                                   .arg(fit.room.width()).arg(fit.room.height());
                }
            }
        }
        QVERIFY2(checked >= 20, qPrintable(QString::number(checked)));  // the walk reached the pages
        QVERIFY2(cut.isEmpty(), qPrintable(QStringLiteral("font %1: ").arg(form.font().family()) + cut.join("; ")));
    }
};

QTEST_MAIN(TestWindowText)
#include "tst_windowtext.moc"
