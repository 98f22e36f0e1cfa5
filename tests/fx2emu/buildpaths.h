// SPDX-License-Identifier: MIT
#pragma once
// Where the build found what the emulated controller needs: s51, the
// console shim, the register table and the firmware images.
#include "fx2emulator.h"

#include <string>

namespace fx2emubuild {

Fx2Emulator::Tools tools();
// A firmware image of the build ("kousb-fx2.ihx").
std::string image(const std::string& name);

}  // namespace fx2emubuild
