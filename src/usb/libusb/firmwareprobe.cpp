// SPDX-License-Identifier: MIT
#include "firmwareprobe.h"

#include "protocol.h"

namespace kousb::usb {

using namespace protocol;

bool isBootState(std::uint16_t vendorId, std::uint16_t productId)
{
    return vendorId == KOUSB_BOOT_VID && productId == KOUSB_BOOT_PID;
}

FirmwareProbe probeFirmware(Transport& transport, const DeviceDescription& description, bool firmwareLoaded)
{
    FirmwareProbe probe;
    if (!firmwareLoaded && isBootState(description.vendorId, description.productId)) {
        probe.kind = FirmwareProbe::Kind::BootState;
        return probe;
    }
    std::uint8_t reply[kVersionReplySize] = {};
    const TransferResult r =
        transport.control(kVendorIn, kGetVersion, 0, 0, reply, sizeof reply, requestInfo(kGetVersion, true).timeout);
    if (r.error == TransferError::NoDevice) {
        probe.kind = FirmwareProbe::Kind::Gone;
        return probe;
    }
    if (r.error == TransferError::Timeout) {
        probe.kind = FirmwareProbe::Kind::Silent;
        return probe;
    }
    if (!r.ok() || r.transferred != sizeof reply || reply[0] != kMagic0 || reply[1] != kMagic1)
        return probe;
    probe.major = reply[2];
    probe.minor = reply[3];
    probe.capabilities = std::uint16_t(reply[4] | reply[5] << 8);
    probe.kind = probe.major == kSupportedMajor ? FirmwareProbe::Kind::Ours : FirmwareProbe::Kind::OtherProtocol;
    return probe;
}

}  // namespace kousb::usb
