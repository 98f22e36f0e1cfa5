// SPDX-License-Identifier: MIT
#include "profilecaps.h"

#include "kousbfpga.h"

const ProfileCaps kFpgaProfile{FW_PROFILE_NAME, FW_PROFILE_CAPABILITIES, FW_PROFILE_FPGA_PART};
