// SPDX-License-Identifier: MIT
#include "xserverdpi.h"

#include <X11/Xlib.h>

#include <sstream>

std::optional<double> xServerDpi(const char* display)
{
    Display* connection = XOpenDisplay(display);
    if (!connection)
        return std::nullopt;
    const char* resources = XResourceManagerString(connection);
    const int screen = DefaultScreen(connection);
    const int pixels = DisplayWidth(connection, screen);
    const int millimetres = DisplayWidthMM(connection, screen);
    const bool xft = resources && setsXftDpi(resources);
    XCloseDisplay(connection);
    if (xft || pixels <= 0 || millimetres <= 0)
        return std::nullopt;
    return 25.4 * pixels / millimetres;
}

// As Qt reads it: the key with its tab, then a number that may have spaces
// around it; Qt takes only a value above 0.
bool setsXftDpi(const std::string& resources)
{
    static const std::string key = "Xft.dpi:\t";
    std::istringstream lines(resources);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, key.size(), key) != 0)
            continue;
        std::istringstream value(line.substr(key.size()));
        long dpi = 0;
        if (value >> dpi && (value >> std::ws).eof() && dpi > 0)
            return true;
    }
    return false;
}
