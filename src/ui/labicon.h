// SPDX-License-Identifier: MIT
#pragma once
#include <QIcon>

// The lab badge, the window's icon, at every size the program has it: the
// 16 and 32 pixel images of korva.ico and larger drawings of the same badge,
// so that a window manager or a screen of high resolution finds a sharp one.
QIcon labIcon();
