// SPDX-License-Identifier: MIT
// make-boot-image: an EEPROM image that boots the controller into a
// firmware (the C2 format), with the board identity in its block at 0x3F00;
// flash-eeprom then puts it on a board.
#include "commands.h"

#include "eepromlayout.h"
#include "formats/c2bootimage.h"
#include "formats/intelhex.h"
#include "kousb_protocol.h"

namespace cli {

int makeBootImageCommand(const Args& args)
{
    const Arguments arguments(args, {"--board", "--id", "--name", "--class"}, {});
    arguments.expectPositional(2, 2, "FIRMWARE.ihx OUT.hex");
    const std::string& firmwarePath = arguments.positional()[0];
    const std::string& outPath = arguments.positional()[1];
    if (firmwarePath.empty() || outPath.empty())
        throw UsageError{"FIRMWARE.ihx and OUT.hex must not be empty"};
    if (firmwarePath == outPath)
        throw UsageError{"the image would overwrite the firmware"};
    const IdentityOptions options = identityOptions(arguments);

    kousb::formats::HexImage firmware;
    if (kousb::Status s = kousb::formats::readIntelHexFile(firmwarePath, 0x10000, firmware); !s)
        throw Failure{"reading " + firmwarePath + " failed: " + s.message()};
    kousb::formats::C2Header header;
    header.vendorId = KOUSB_FIRMWARE_VID;
    header.productId = KOUSB_FIRMWARE_PID;
    header.config = kousb::formats::kC2Config400kHz;
    std::vector<std::uint8_t> records;
    if (kousb::Status s = kousb::formats::encodeC2BootImage(header, firmware.bytes, firmware.present, records); !s)
        throw Failure{"making the boot image failed: " + s.message()};
    if (records.size() > kousb::eeprom::kSize)
        throw Failure{"making the boot image failed: the firmware takes " + std::to_string(records.size())
                      + " bytes of EEPROM, more than its 16 KiB"};
    if (records.size() > kousb::eeprom::kIdentityOffset)
        throw Failure{"making the boot image failed: the firmware takes " + std::to_string(records.size())
                      + " bytes of EEPROM and would overlap the identity block at 0x3F00"};

    // The identity: the board's, when one is named, with the options over it.
    std::vector<std::uint8_t> image(kousb::eeprom::kSize, kousb::eeprom::kErased);
    std::copy(records.begin(), records.end(), image.begin());
    if (arguments.value("--board")) {
        auto device = chooseBoard(arguments);
        kousb::eeprom::writeId(image, device->GetId());
        kousb::eeprom::writeName(image, device->GetName());
        kousb::eeprom::writeClass(image, std::uint8_t(device->GetClass()));
        kousb::eeprom::writeFirmwareVersion(image, std::uint16_t(device->GetFWVersion()));
    }
    kousb::eeprom::writeId(image, options.id ? *options.id : kousb::eeprom::readIdentity(image).id);
    if (options.name)
        kousb::eeprom::writeName(image, *options.name);
    if (options.deviceClass)
        kousb::eeprom::writeClass(image, *options.deviceClass);
    if (kousb::Status s = kousb::formats::writeIntelHexFile(outPath, image.data(), image.size()); !s)
        throw Failure{"writing " + outPath + " failed: " + s.message()};
    return kExitOk;
}

}  // namespace cli
