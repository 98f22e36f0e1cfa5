// SPDX-License-Identifier: MIT
#pragma once
// The attached boards as the library lists them, and the arrivals and
// removals between one look and the next: what `kousb list` and `kousb
// watch` print and what the Python module's boards() and watch() give.
// Plain C++17, no Qt.
#include <map>
#include <string>
#include <vector>

namespace boards {

// One attached board and the identity the library read from it.
struct Entry {
    int slot = 0;
    void* handle = nullptr;
    int id = 0;
    std::string name;  // Latin-1, as the board gives it
    int deviceClass = 0;
    int firmwareVersion = 0;
    std::string place;   // KoUSBDevice::GetPlace
    std::string serial;  // KoUSBDevice::GetSerial
};

// The boards in the library's slots now, in slot order. Call InitUSB first;
// what changed since the last OnDeviceChange is not seen.
std::vector<Entry> attached();

struct Change {
    bool arrived = false;  // false: removed
    Entry board;           // a removed board as it was last seen
};

// Follows the set of boards from look to look. A board is known by its
// handle, so one replugged in the same slot between two looks shows as
// removed and arrived. Only the identities of arrivals are read, so a look
// does not wait for a board that is busy with a long call unless it is new.
class Watch {
public:
    // Takes the first look; the boards found are not reported.
    Watch();

    // Looks again (after OnDeviceChange) and returns what changed since the
    // last look: the removals, then the arrivals, each in slot order.
    std::vector<Change> look();

private:
    std::map<int, Entry> m_seen;  // by slot
};

}  // namespace boards
