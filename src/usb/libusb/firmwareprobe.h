// SPDX-License-Identifier: MIT
#pragma once
// What runs on a controller, told by its IDs and its answer to our version
// request: the one place that decides it, for the board logic and for
// kousb doctor.
#include "transport.h"

#include <cstdint>

namespace kousb::usb {

struct FirmwareProbe {
    enum class Kind {
        BootState,      // the boot pair 04b4:8613: the silicon's loader, no firmware
        Ours,           // our firmware, of a protocol this library speaks
        OtherProtocol,  // our firmware, of a protocol major this library does not speak
        Other,          // another firmware: the request was refused or the reply is not ours
        Silent,         // nothing answered the request in time
        Gone,           // the device has gone
    };
    Kind kind = Kind::Other;
    int major = 0;
    int minor = 0;
    std::uint16_t capabilities = 0;
};

// True for the IDs an unprogrammed controller enumerates with.
bool isBootState(std::uint16_t vendorId, std::uint16_t productId);

// Asks the device `description` describes what it runs. The boot state is
// known by its IDs and not asked (it would leave the request unanswered until
// the timeout), unless `firmwareLoaded`: firmware that runs without
// re-enumerating keeps the boot pair. Blocks for one control transfer.
FirmwareProbe probeFirmware(Transport& transport, const DeviceDescription& description, bool firmwareLoaded = false);

}  // namespace kousb::usb
