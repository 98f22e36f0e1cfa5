// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>

// Windows device-change messages, as plain numbers so the decision can be
// made (and tested) on any platform.
namespace devicechange {

constexpr unsigned kWmDeviceChange = 0x0219;
constexpr std::uintptr_t kDeviceArrival = 0x8000;
constexpr std::uintptr_t kDeviceQueryRemove = 0x8001;
constexpr std::uintptr_t kDeviceRemovePending = 0x8003;
constexpr std::uintptr_t kDeviceRemoveComplete = 0x8004;
constexpr std::uintptr_t kDevNodesChanged = 0x0007;

// True for a device arrival or a completed removal: the two events after
// which the set of boards may have changed. Anything else goes on to Qt.
constexpr bool isArrivalOrRemoval(unsigned message, std::uintptr_t wParam)
{
    return message == kWmDeviceChange && (wParam == kDeviceArrival || wParam == kDeviceRemoveComplete);
}

}  // namespace devicechange
