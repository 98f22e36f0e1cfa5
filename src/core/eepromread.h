// SPDX-License-Identifier: MIT
#pragma once
// Reading a board's whole EEPROM back, for `kousb dump-eeprom` and the
// Python module's dump_eeprom(). Plain C++17, no Qt.
#include <functional>
#include <vector>

class KoUSBDevice;

// Called with the bytes read so far and in all.
using EepromReadProgress = std::function<void(long long done, long long total)>;

// Reads all GetEEPROMSize() bytes into `image`, in chunks small enough for
// a progress display to move, calling `progress` (if set) before each and
// at the end. False when the board has no EEPROM to read back or at the
// first read that fails; the device's last error then says why.
bool readWholeEeprom(KoUSBDevice& device, std::vector<unsigned char>& image, const EepromReadProgress& progress);
