// SPDX-License-Identifier: MIT
#pragma once
#include <optional>
#include <string>

// What an X server says about its resolution, read before Qt connects to it.

// The DPI Qt's xcb platform takes from the X server `display` (null:
// $DISPLAY) when its resources set no Xft.dpi: the default screen's width in
// pixels over its width in millimetres. None when the server cannot be
// reached, reports no width, or its resources set Xft.dpi (Qt then takes
// exactly that value).
std::optional<double> xServerDpi(const char* display);

// True when `resources`, the text of the root window's RESOURCE_MANAGER
// property (what xrdb loads), sets Xft.dpi the way Qt reads it: a line
// "Xft.dpi:" and a tab, then a whole number above 0.
bool setsXftDpi(const std::string& resources);
