// SPDX-License-Identifier: MIT
// kousb-fwimage: checks a firmware image built by SDCC against the
// controller's limits and writes the same image as a raw .bix.
//
//   kousb-fwimage IMAGE.ihx OUT.bix
//
// The image is read with the board library's own Intel HEX reader, as the
// loader will read it. Refused (exit 1, the build fails): data outside
// internal memory (0x0000-0x3FFF, 0xE000-0xE1FF), or more than 12 KiB of
// code and data, which leaves 4 KiB of the 16 KiB RAM to the firmware's
// variables and stack. The .bix holds 0x0000 up to the highest address
// given; it cannot carry data at 0xE000, so such an image is refused too.
#include "atomicfile.h"
#include "formats/intelhex.h"
#include "kousb_protocol.h"

#include <cstdio>

namespace {

constexpr std::size_t kBudget = 12 * 1024;

int refuse(const char* image, const std::string& reason)
{
    std::fprintf(stderr, "kousb-fwimage: %s: %s\n", image, reason.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kousb-fwimage IMAGE.ihx OUT.bix\n");
        return 2;
    }
    kousb::formats::HexImage hex;
    if (kousb::Status s = kousb::formats::readIntelHexFile(argv[1], 0x10000, hex); !s)
        return refuse(argv[1], s.message());
    for (std::size_t a = 0; a < hex.present.size(); ++a) {
        if (!hex.present[a])
            continue;
        if (!kousb_loader_reaches(a, 1)) {
            char text[80];
            std::snprintf(text, sizeof text, "data at 0x%04zX, outside the controller's internal memory", a);
            return refuse(argv[1], text);
        }
        if (a >= KOUSB_DATA_RAM_START)
            return refuse(argv[1], "data at 0xE000-0xE1FF cannot go into a .bix image");
    }
    if (hex.byteCount > kBudget)
        return refuse(argv[1], std::to_string(hex.byteCount) + " bytes of code and data, over the budget of "
                                   + std::to_string(kBudget));
    std::string error;
    const std::string bix(reinterpret_cast<const char*>(hex.bytes.data()), hex.endAddress);
    if (!kousb::writeFileAtomic(argv[2], bix, kousb::WriteMode::CreateOrReplace, error, false))
        return refuse(argv[2], error);
    std::printf("%s: %zu bytes of code and data (budget %zu), image 0x0000-0x%04zX\n", argv[1], hex.byteCount, kBudget,
                hex.endAddress - 1);
    return 0;
}
