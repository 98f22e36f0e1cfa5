// SPDX-License-Identifier: MIT
// The window as it is drawn on a screen of a given resolution, started as the
// program starts it: at the screen's scale and at the size the window
// description fixes, all of it on the screen, every fixed text fitting the
// rectangle the style draws it in, every tab bar showing all its tabs, no
// widget cut off by its parent (fonts: Debian's default, DejaVu Sans).
//
// CTest runs it under X servers of 96 to 192 dpi (offscreen with a forced DPI
// where xvfb-run is missing), each time naming the scale the window must come
// out at (UDM_EXPECT_SCALE) and the X server's screen in pixels (UDM_SCREEN).
// UDM_TEST_XFT_DPI sets the X resource Xft.dpi first, as a desktop session does.
#include "highdpi.h"
#include "mainform.h"
#include "simboards.h"

#include <QHeaderView>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QtTest>

#ifdef UDM_HAVE_X11
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

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

// True when an ancestor cuts part of `w` off.
bool clipped(const QWidget* w)
{
    QRect seen = w->rect();
    for (const QWidget* p = w; !p->isWindow(); p = p->parentWidget())
        seen = seen.translated(p->pos()) & p->parentWidget()->rect();
    return seen.size() != w->size();
}

}  // namespace

class TestWindowText : public QObject {
    Q_OBJECT

    SimBoards boards;

private slots:
    void everyTextFitsAtTheScreensScale()
    {
        bool named = false;
        const double scale = qEnvironmentVariable("UDM_EXPECT_SCALE").toDouble(&named);
        QVERIFY2(named, "UDM_EXPECT_SCALE names the scale the window must come out at");

        boards.plug(0, 1, "Demo board A");
        MainForm form;
        form.actionExpertMode->trigger();  // the firmware pages as an expert sees them
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.devicePixelRatioF(), scale);
        QCOMPARE(form.size(), QSize(461, 403));
        if (qEnvironmentVariableIsSet("UDM_SCREEN")) {
            // The X server's screen, in logical pixels to a pixel's rounding.
            const QRect screen = form.screen()->geometry();
            const QStringList pixels = qEnvironmentVariable("UDM_SCREEN").split('x');
            QVERIFY(qAbs(screen.width() - pixels.value(0).toInt() / scale) <= 1);
            QVERIFY(qAbs(screen.height() - pixels.value(1).toInt() / scale) <= 1);
            QVERIFY2(screen.contains(form.frameGeometry()),
                     qPrintable(QStringLiteral("window %1,%2 %3x%4 on a screen of %5x%6")
                                    .arg(form.frameGeometry().x())
                                    .arg(form.frameGeometry().y())
                                    .arg(form.frameGeometry().width())
                                    .arg(form.frameGeometry().height())
                                    .arg(screen.width())
                                    .arg(screen.height())));
        }

        int checked = 0;
        QStringList cut;
        for (int page = 0; page < form.tabWidget->count(); ++page) {
            form.tabWidget->setCurrentIndex(page);
            QCoreApplication::processEvents();
            QList<QWidget*> widgets = form.tabWidget->widget(page)->findChildren<QWidget*>();
            widgets << form.tabWidget->findChild<QTabBar*>(QString(), Qt::FindDirectChildrenOnly);
            for (QWidget* w : widgets) {
                if (w->isVisible() && clipped(w))
                    cut << QStringLiteral("%1 (%2) is cut off").arg(w->objectName(), w->metaObject()->className());
                if (auto* tabs = qobject_cast<QTabBar*>(w))
                    for (const QToolButton* arrow : tabs->findChildren<QToolButton*>())
                        if (arrow->isVisible())
                            cut << QStringLiteral("%1 scrolls its tabs").arg(w->objectName());
                for (const Fit& fit : fitsOf(w)) {
                    ++checked;
                    if (fit.need > fit.room.width() || w->fontMetrics().height() > fit.room.height())
                        cut << QStringLiteral("%1 needs %2 x %3 px, has %4 x %5")
                                   .arg(fit.what)
                                   .arg(fit.need)
                                   .arg(w->fontMetrics().height())
                                   .arg(fit.room.width())
                                   .arg(fit.room.height());
                }
            }
        }
        QVERIFY2(checked >= 20, qPrintable(QString::number(checked)));  // the walk reached the pages
        QVERIFY2(cut.isEmpty(), qPrintable(QStringLiteral("font %1 at scale %2: ").arg(form.font().family()).arg(scale)
                                           + cut.join("; ")));
    }
};

#ifdef UDM_HAVE_X11
// Sets the X resource Xft.dpi as xrdb writes it. The connection stays open
// while the test runs: the server would forget the resource with its last client.
Display* setXftDpi(const QByteArray& dpi)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        qFatal("UDM_TEST_XFT_DPI needs an X server");
    const QByteArray resources = "Xft.dpi:\t" + dpi + "\n";
    XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources.constData()), resources.size());
    XSync(display, False);
    return display;
}
#endif

int main(int argc, char** argv)
{
#ifdef UDM_HAVE_X11
    Display* xft = qEnvironmentVariableIsSet("UDM_TEST_XFT_DPI") ? setXftDpi(qgetenv("UDM_TEST_XFT_DPI")) : nullptr;
#endif
    prepareHighDpi(argc, argv);
    int result = 0;
    {
        QApplication app(argc, argv);
        TestWindowText test;
        result = QTest::qExec(&test, argc, argv);
    }
#ifdef UDM_HAVE_X11
    if (xft)
        XCloseDisplay(xft);
#endif
    return result;
}

#include "tst_windowtext.moc"
