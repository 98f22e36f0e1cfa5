// SPDX-License-Identifier: MIT
#pragma once
#include "../status.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kousb::formats {

// An image read from an Intel HEX file: the bytes it gives for each address of
// a target memory, and which addresses it gives at all (HEX files are sparse).
struct HexImage {
    std::vector<std::uint8_t> bytes;  // one per address of the target memory; 0xFF where absent
    std::vector<bool> present;        // same length: true where the file gives a byte
    std::size_t byteCount = 0;        // number of addresses given
    std::size_t endAddress = 0;       // one past the highest address given; 0 for none
};

// A stretch of addresses a target memory has: [begin, end).
struct HexRegion {
    std::size_t begin;
    std::size_t end;
};

// Parses Intel HEX text for a target memory of `memorySize` bytes at address 0
// (with `regions`: only those addresses exist, the rest of it is refused).
//
// Takes record types 00 (data), 01 (end of file; nothing after it counts),
// 02 (extended segment address), 03 and 05 (start addresses, not stored) and
// 04 (extended linear address); records in any address order; "\n" or "\r\n"
// line ends; empty lines. Refuses, with "line N: reason": a line not starting
// with ':', an odd number of digits or a non-hex digit, a record shorter than
// its fixed fields, a length byte that does not match the line, a bad
// checksum, an unknown type, a type whose length is wrong, data beyond the
// target memory, and data for an address already given with another byte;
// and a file without an end record. All of the text is checked before
// anything is returned, and `out` is only written on success.
Status parseIntelHex(const std::uint8_t* text, std::size_t size, std::size_t memorySize, HexImage& out,
                     const std::vector<HexRegion>& regions = {});

// The largest HEX file taken for a memory of `memorySize` bytes: room for one
// record per byte (":01AAAA00DDCC\r\n", 15 characters) and then some.
std::size_t maxHexFileBytes(std::size_t memorySize);

// Reads and parses the file at `path` (see readWholeFile for file faults);
// a file larger than maxHexFileBytes is refused without being read.
Status readIntelHexFile(const std::string& path, std::size_t memorySize, HexImage& out,
                        const std::vector<HexRegion>& regions = {});

// Intel HEX text for `size` bytes from `address` on: data records of 16
// bytes (every byte, erased ones too, so the file restores the memory
// exactly), an extended linear address record before the first byte beyond
// 64 KiB and at each 64 KiB boundary after it, and the end record; "\n" line
// ends, upper-case digits. parseIntelHex gives back the same bytes there, all
// present, and nothing elsewhere.
std::string formatIntelHex(const std::uint8_t* data, std::size_t size, std::size_t address = 0);

// Writes formatIntelHex's text to `path` through writeFileAtomic, so `path` is
// either the old file or the whole new one. Fails with FileUnwritable and a
// reason naming the path.
Status writeIntelHexFile(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace kousb::formats
