// SPDX-License-Identifier: MIT
#include "profilecaps.h"

#include "generic56.h"

const ProfileCaps kGenericProfile{FW_PROFILE_NAME, FW_PROFILE_CAPABILITIES, FW_PROFILE_FPGA_PART};
