// SPDX-License-Identifier: MIT
#include "buildpaths.h"

namespace fx2emubuild {

Fx2Emulator::Tools tools() { return {UDM_S51, UDM_S51_SHIM, UDM_REGISTER_TABLE}; }

std::string image(const std::string& name) { return std::string(UDM_FIRMWARE_DIR) + "/" + name; }

}  // namespace fx2emubuild
