// SPDX-License-Identifier: MIT
#pragma once
// Whether the controller would still boot from its EEPROM: the check every
// flash makes before it writes (flashEepromImage).
//
// At power-on the controller's boot ROM reads the EEPROM's first byte:
//   0xC2  loads the firmware in the records after the header into its RAM and
//         lets the CPU run it;
//   0xC0  enumerates with the vendor, product and device IDs of the header and
//         waits, the CPU in reset, for a host to load firmware;
//   else  (an erased EEPROM reads 0xFF) enumerates as 04b4:8613 and waits too.
// Only the first can leave a board that no host reaches: a firmware that
// never loads, or loads and hangs. The other two always come up in a state a
// host can load firmware into, so they are not judged.
#include "formats/c2bootimage.h"
#include "status.h"

#include <cstddef>

namespace kousb {

// How a refusal of checkBootable starts.
constexpr const char* kNotBootable = "the controller would not boot from this EEPROM";

// Refuses (BadFile, kNotBootable, ": " and the reason)
// an EEPROM of `eepromSize` bytes, read through `read` as it would be after
// the flash, that starts with 0xC2 but would not boot: every fault
// walkC2Image finds, a vendor or product ID of 0x0000 or 0xFFFF in the
// header, and records that reach the identity block our boards keep at
// eeprom::kIdentityOffset. A failing `read` fails the check with its status.
Status checkBootable(const formats::EepromBytes& read, std::size_t eepromSize);

}  // namespace kousb
