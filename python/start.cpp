// SPDX-License-Identifier: MIT
#include "start.h"

#include "KoUSBLib.h"

#include <mutex>

namespace pykousb {

void refreshLibrary()
{
    static std::once_flag started;
    std::call_once(started, [] { InitUSB(); });
    OnDeviceChange();
}

}  // namespace pykousb
