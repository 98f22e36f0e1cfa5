// SPDX-License-Identifier: MIT
#pragma once
// The two board profiles' capabilities and FPGA parts, as the firmware is built
// with them (one source file per profile header, whose macros share names).
#include <cstdint>

struct ProfileCaps {
    const char* name;
    std::uint16_t capabilities;
    const char* fpgaPart;
};
extern const ProfileCaps kGenericProfile;
extern const ProfileCaps kFpgaProfile;
