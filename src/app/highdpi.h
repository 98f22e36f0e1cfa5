// SPDX-License-Identifier: MIT
#pragma once

// Sets up Qt's high-DPI scaling; call before the application object exists,
// with the arguments it will get. The window keeps its size in logical
// pixels and is drawn larger on a screen of higher resolution: by 1.25 at
// 120 dpi, 1.5 at 144, 2 at 192. A user's own QT_SCALE_FACTOR is the whole
// factor; QT_SCREEN_SCALE_FACTORS, QT_AUTO_SCREEN_SCALE_FACTOR,
// QT_ENABLE_HIGHDPI_SCALING, QT_FONT_DPI and QT_SCALE_FACTOR_ROUNDING_POLICY
// work as Qt documents them.
void prepareHighDpi(int argc, char** argv);
