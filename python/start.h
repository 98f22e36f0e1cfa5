// SPDX-License-Identifier: MIT
#pragma once

namespace pykousb {

// Starts the board library once per process (InitUSB) and brings its list
// of boards up to date (OnDeviceChange). Call with the GIL released: a
// backend may take its time.
void refreshLibrary();

}  // namespace pykousb
