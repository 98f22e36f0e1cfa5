// SPDX-License-Identifier: MIT
// How Qt 5.15 scales a window on X11, as its xcb platform does it (measured
// with Qt 5.15.8 under Xvfb):
//
// - The screen's logical DPI is the Xft.dpi resource when the root window's
//   RESOURCE_MANAGER property (what xrdb loads, what desktops set) has a line
//   "Xft.dpi:<tab>N"; else the X screen's width in pixels over its width in
//   millimetres, which is what `Xvfb -dpi 192` or `Xorg -dpi 192` sets.
//   QT_FONT_DPI, when set, stands in for both.
// - Without AA_EnableHighDpiScaling that DPI only sizes the fonts: at 192 dpi
//   every text doubles while the window's fixed geometry stays, and the
//   texts are cut.
// - With it, each screen's factor is that DPI / 96, rounded by the rounding
//   policy. Qt 5's default rounds to whole numbers: 120 dpi gives 1 (fonts
//   grow by a quarter, the geometry does not) and so does 144 (143.99 from
//   the millimetres). PassThrough keeps 1.25 and 1.5.
// - The X server's own DPI is inexact, its width being whole millimetres:
//   -dpi 192 on 2560 pixels is 339 mm, 191.76 dpi, a factor of 1.998; -dpi 96
//   gives 96.06 dpi, 1.0006. Passed through, such a factor puts every widget
//   a fraction of a pixel off. So where Qt would take the X server's DPI, it
//   is rounded here to a quarter step of 96 and handed to Qt as QT_FONT_DPI.
//   Xft.dpi is a whole number that someone chose, and Qt takes it as it is.
// - QT_SCALE_FACTOR multiplies the screens' factors (2 on a 192-dpi screen
//   would draw at 4), and without AA_EnableHighDpiScaling it leaves the fonts
//   at the screen's DPI (192: cut texts in a window twice the size). So when
//   the user sets it, QT_FONT_DPI=96 makes the screens' factor 1 and the
//   user's factor the whole scale, with the fonts in step.
// - Qt itself lets QT_SCREEN_SCALE_FACTORS replace the screens' factors and
//   QT_AUTO_SCREEN_SCALE_FACTOR=0 or QT_ENABLE_HIGHDPI_SCALING=0 turn them
//   off; with any of these set, or QT_FONT_DPI or a rounding policy of the
//   user's, the DPI is left to Qt.
#include "highdpi.h"

#include <QApplication>

#include <algorithm>
#include <cmath>
#include <string>

#ifdef UDM_HAVE_X11
#include "xserverdpi.h"
#endif

namespace {

bool isSet(const char* variable) { return !qEnvironmentVariableIsEmpty(variable); }

#ifdef UDM_HAVE_X11
// The value after "-NAME" or "--NAME" among the arguments; empty if none.
std::string argument(int argc, char** argv, const std::string& name)
{
    for (int i = 1; i + 1 < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--", 0) == 0)
            arg.erase(0, 1);
        if (arg == "-" + name)
            return argv[i + 1];
    }
    return {};
}

// The platform plugin Qt will load: -platform, else QT_QPA_PLATFORM, else
// xcb, Qt 5's default on Linux; its options (after ':') and fallbacks (after
// ';') aside.
std::string platformName(int argc, char** argv)
{
    std::string name = argument(argc, argv, "platform");
    if (name.empty())
        name = qEnvironmentVariable("QT_QPA_PLATFORM").toStdString();
    if (name.empty())
        name = "xcb";
    return name.substr(0, name.find_first_of(":;"));
}

// Desktops scale in quarters (100, 125, 150, 175, 200 %); a screen below 96
// dpi shows the window at its own size.
int quarterStepDpi(double dpi) { return std::max(96, static_cast<int>(std::lround(dpi / 24.0)) * 24); }
#endif

}  // namespace

void prepareHighDpi(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);

    for (const char* qtDecides : {"QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_ENABLE_HIGHDPI_SCALING",
                                  "QT_FONT_DPI", "QT_SCALE_FACTOR_ROUNDING_POLICY"})
        if (isSet(qtDecides))
            return;
    if (isSet("QT_SCALE_FACTOR")) {
        qputenv("QT_FONT_DPI", "96");
        return;
    }
#ifdef UDM_HAVE_X11
    if (platformName(argc, argv) != "xcb")
        return;
    const std::string display = argument(argc, argv, "display");
    if (const std::optional<double> dpi = xServerDpi(display.empty() ? nullptr : display.c_str()))
        qputenv("QT_FONT_DPI", QByteArray::number(quarterStepDpi(*dpi)));
#else
    Q_UNUSED(argc)
    Q_UNUSED(argv)
#endif
}
