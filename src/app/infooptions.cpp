// SPDX-License-Identifier: MIT
#include "infooptions.h"

#include "udmversion.h"

#include <cstring>

std::optional<int> answerInfoOption(int argc, const char* const* argv, std::ostream& out)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--version") == 0 || std::strcmp(arg, "-v") == 0) {
            out << "usb-device-manager " UDM_VERSION "\n";
            return 0;
        }
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            out << "usage: usb-device-manager [TOOLKIT OPTIONS]\n"
                   "\n"
                   "Lists the attached USB lab boards and works on one of them. The window has\n"
                   "no options of its own; Qt's standard options apply:\n"
                   "\n"
                   "  -platform NAME[:OPTIONS]  the platform plugin (xcb, wayland, offscreen, ...)\n"
                   "  -platformpluginpath PATH  where to look for platform plugins\n"
                   "  -platformtheme NAME       the platform theme\n"
                   "  -plugin NAME              load an extra plugin (e.g. an input device)\n"
                   "  -style NAME               the widget style (Fusion, Windows, ...)\n"
                   "  -stylesheet FILE          a style sheet for the whole application\n"
                   "  -reverse                  right-to-left layout\n"
                   "  -qwindowgeometry GEOMETRY the first window's geometry, e.g. +100+50\n"
                   "  -qwindowtitle TITLE       the first window's title\n"
                   "  -qwindowicon FILE         the default window icon\n"
                   "  -session ID               restore an earlier session\n"
                   "  -widgetcount              print the number of widgets left at exit\n"
                   "  -display HOST:SCREEN      the X display (X11 only)\n"
                   "  -geometry GEOMETRY        as -qwindowgeometry (X11 only)\n"
                   "  -title TITLE              as -qwindowtitle (X11 only)\n"
                   "  -name NAME                the application name for X resources (X11 only)\n"
                   "  -sync                     run X in synchronous mode, for debugging (X11 only)\n"
                   "\n"
                   "  -v, --version             print the version and exit\n"
                   "  -h, --help                print this help and exit\n"
                   "\n"
                   "Environment: KOUSB_SIM_DIR (the simulated boards' folder), KOUSB_USB_BACKEND=off\n"
                   "(no real boards), KOUSB_USB_IDS (more vendor:product pairs). See usb-device-manager(1).\n";
            return 0;
        }
    }
    return std::nullopt;
}
