// SPDX-License-Identifier: MIT
#include "eepromread.h"

#include "KoUSBLib.h"

#include <algorithm>

namespace {

// Bytes per EEPROM read, small enough for a progress bar to move.
constexpr int kReadChunk = 1024;

}  // namespace

bool readWholeEeprom(KoUSBDevice& device, std::vector<unsigned char>& image, const EepromReadProgress& progress)
{
    const int size = device.GetEEPROMSize();
    if (size <= 0)
        return false;
    image.assign(static_cast<std::size_t>(size), 0);
    for (int at = 0; at < size; at += kReadChunk) {
        if (progress)
            progress(at, size);
        if (!device.ReadEEPROM(at, image.data() + at, std::min(kReadChunk, size - at)))
            return false;
    }
    if (progress)
        progress(size, size);
    return true;
}
