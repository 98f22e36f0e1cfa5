// SPDX-License-Identifier: MIT
#pragma once
#include "../status.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kousb::formats {

// The controller's "C2" boot EEPROM format, which makes it load firmware
// into its internal memory at power-on and run it:
//
//   0xC2, VID (LE16), PID (LE16), DID (LE16), configuration byte,
//   records: length (BE16, 1-1023), address (BE16), the bytes,
//   and a last record (bit 15 of the length set) writing 0x00 to CPUCS
//   (0xE600): 80 01 E6 00 00, which lets the CPU run.
//
// Firmware goes only into internal memory: 0x0000-0x3FFF and 0xE000-0xE1FF.
struct C2Header {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t deviceId = 0;
    std::uint8_t config = 0;  // bit 0: boot at 400 kHz; bit 6: stay disconnected
};

constexpr std::size_t kC2MaxRecord = 1023;
constexpr std::uint8_t kC2Config400kHz = 0x01;

// The EEPROM bytes for the firmware bytes marked in `present` (indexed by
// address, at most 64 KiB): a record per run of present bytes, cut at 1023.
// Refuses (BadFile) a byte outside internal memory or no bytes at all.
Status encodeC2BootImage(const C2Header& header, const std::vector<std::uint8_t>& bytes,
                         const std::vector<bool>& present, std::vector<std::uint8_t>& eeprom);

struct C2Image {
    C2Header header;
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(0x10000, 0xFF);  // by address
    std::vector<bool> present = std::vector<bool>(0x10000, false);
    std::size_t length = 0;  // EEPROM bytes the image takes, the last record included
};

// Reads a C2 image from the start of `data`. Refuses (BadFile, with the
// offset) another first byte, a record that runs past the data, a length of
// 0 or above 1023, an address outside internal memory, a missing last
// record and a last record that is not the CPUCS run write.
Status decodeC2BootImage(const std::uint8_t* data, std::size_t size, C2Image& out);

}  // namespace kousb::formats
