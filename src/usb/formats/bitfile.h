// SPDX-License-Identifier: MIT
#pragma once
#include "../status.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace kousb::formats {

// The header of a Xilinx configuration file (.bit); see FORMATS.md.
struct BitHeader {
    std::string design;                 // field 'a', e.g. "demo.ncd;UserID=0xFFFFFFFF"
    std::string part;                   // field 'b', e.g. "3s500efg320"
    std::string date;                   // field 'c'
    std::string time;                   // field 'd'
    std::uint64_t bitstreamOffset = 0;  // where the raw bitstream starts in the file
    std::uint64_t bitstreamLength = 0;  // its length (field 'e'), the rest of the file
};

// The most a header can take: the 13-byte preamble, four text fields of at
// most 65535 bytes each with their key and length, and the 'e' key and length.
constexpr std::size_t kMaxBitHeaderBytes = 13 + 4 * (3 + 65535) + 5;

// The largest .bit file taken (the biggest parts' bitstreams stay well below);
// a larger one is refused without reading its bitstream.
constexpr std::uint64_t kMaxBitFileBytes = 32u * 1024 * 1024;

// Parses the header from `head`, the first `headSize` bytes of a file of
// `fileSize` bytes (headSize <= fileSize). Checks the fixed preamble, each key
// in order, each length against the bytes left, the NUL that ends each text
// (and that the text is printable, without an inner NUL), and the bitstream
// length against the rest of the file: shorter is "truncated", longer is
// "trailing junk". The reason names the field and what was wrong with it.
Status parseBitHeader(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize, BitHeader& out);

// Reads the header of the file at `path` (not its bitstream) and parses it.
Status readBitFile(const std::string& path, BitHeader& out);

// The family and size of a part name: "xc3s500e-4fg320" and "3s500efg320"
// both give "3s500e". Lower case, without "xc", the speed grade or the
// package; empty if the name does not look like a part.
std::string fpgaDevice(const std::string& part);

// True when a file made for `filePart` fits an FPGA `boardPart` (compared as
// fpgaDevice gives them).
bool fpgaPartMatches(const std::string& filePart, const std::string& boardPart);

// The design name without the tool's ";UserID=..." suffix.
std::string bitDesignName(const std::string& designField);

}  // namespace kousb::formats
