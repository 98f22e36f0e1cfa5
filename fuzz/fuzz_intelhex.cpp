// SPDX-License-Identifier: MIT
// Intel HEX reader: any bytes, for the EEPROM's and the controller RAM's size.
// A file it takes must describe itself consistently.
#include "formats/intelhex.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    for (std::size_t memory : {std::size_t(16 * 1024), std::size_t(256)}) {
        kousb::formats::HexImage image;
        if (!kousb::formats::parseIntelHex(data, size, memory, image).isOk())
            continue;
        std::size_t given = 0;
        std::size_t end = 0;
        if (image.bytes.size() != memory || image.present.size() != memory)
            std::abort();
        for (std::size_t i = 0; i < memory; ++i) {
            if (image.present[i]) {
                ++given;
                end = i + 1;
            } else if (image.bytes[i] != 0xFF) {
                std::abort();
            }
        }
        if (given != image.byteCount || end != image.endAddress)
            std::abort();
    }
    return 0;
}
