// SPDX-License-Identifier: MIT
// One file per profile header: their macros share names.
#include "controller.h"
#include "generic56.h"

const fwmodel::Profile fwmodel::kGenericProfile{FW_PROFILE_NAME, FW_PROFILE_CAPABILITIES, FW_PROFILE_FPGA_PART};
