// SPDX-License-Identifier: MIT
// Xilinx .bit header reader: any bytes as the head of a file of that size.
// A header it takes must place the bitstream inside the file.
#include "formats/bitfile.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    kousb::formats::BitHeader header;
    const std::size_t head = std::min(size, kousb::formats::kMaxBitHeaderBytes);
    if (kousb::formats::parseBitHeader(data, head, size, header).isOk()) {
        if (header.bitstreamOffset > size || header.bitstreamOffset + header.bitstreamLength != size)
            std::abort();
        for (const std::string* text : {&header.design, &header.part, &header.date, &header.time})
            if (text->find('\0') != std::string::npos)
                std::abort();
        kousb::formats::fpgaPartMatches(header.part, "3s500e");
        kousb::formats::bitDesignName(header.design);
    }
    return 0;
}
