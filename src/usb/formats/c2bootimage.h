// SPDX-License-Identifier: MIT
#pragma once
#include "../status.h"

#include <cstddef>
#include <cstdint>
#include <functional>
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

// Reads `length` bytes of EEPROM from `offset` into `out`; the walk below
// asks only for bytes inside the EEPROM.
using EepromBytes = std::function<Status(std::size_t offset, std::uint8_t* out, std::size_t length)>;

// One data record of a C2 image: its number (from 1), the EEPROM offset of
// its 4-byte header, how many bytes it loads and where to.
struct C2Record {
    std::size_t number = 0;
    std::size_t offset = 0;
    std::size_t length = 0;
    std::uint16_t address = 0;
};
using C2RecordSink = std::function<Status(const C2Record& record, const std::uint8_t* data)>;

// Walks the C2 image at the start of an EEPROM of `size` bytes, read through
// `read`, as the boot ROM would: the header into `header`, each data record
// to `onRecord` (may be empty, and then the data is not read), and the EEPROM
// bytes the image takes, closing record included, into `length`. Refuses
// (BadFile) another first byte, a record length of 0 or above 1023, a record
// outside internal memory, a record running past the end of the EEPROM, a
// missing closing record and a closing record that does not write 0x00 to
// CPUCS; the reason names the record, its EEPROM offset and its addresses.
// A failing `read` or `onRecord` ends the walk with its status.
Status walkC2Image(const EepromBytes& read, std::size_t size, C2Header& header, std::size_t& length,
                   const C2RecordSink& onRecord = {});

// Reads a C2 image from the start of `data` (walkC2Image's refusals, with
// "C2 image: " before the reason).
Status decodeC2BootImage(const std::uint8_t* data, std::size_t size, C2Image& out);

}  // namespace kousb::formats
