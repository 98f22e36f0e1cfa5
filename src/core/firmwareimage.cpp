// SPDX-License-Identifier: MIT
#include "firmwareimage.h"

#include <unistd.h>

namespace {

// PREFIX/lib/python3/dist-packages/kousb/module.so is the deepest a binary
// sits below its prefix.
constexpr int kLevels = 5;

}  // namespace

std::string findFirmwareImage(const std::string& binaryPath)
{
    const std::size_t slash = binaryPath.find_last_of('/');
    std::string dir = slash == std::string::npos ? std::string() : binaryPath.substr(0, slash);
    for (int level = 0; level < kLevels && !dir.empty(); ++level) {
        for (const std::string& path : {dir + "/" + kInstalledFirmware, dir + "/firmware/kousb-fx2.ihx"})
            if (::access(path.c_str(), R_OK) == 0)
                return path;
        dir = dir.substr(0, dir.find_last_of('/'));
    }
    return {};
}
