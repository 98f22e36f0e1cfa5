// SPDX-License-Identifier: MIT
#pragma once
// Where our board firmware image is, for loading the controller without
// naming a file (`kousb load-controller`, the Python module's
// load_controller()). Plain C++17, no Qt.
#include <string>

// The image's place below an installation prefix.
constexpr const char* kInstalledFirmware = "share/usb-device-manager/firmware/kousb-fx2.ihx";

// The image that belongs with the program or module at `binaryPath`: in the
// nearest folder above it (up to the installation prefix of a Python
// module, five levels) that holds kInstalledFirmware, or, in a build tree,
// firmware/kousb-fx2.ihx. Empty when there is none that can be read.
std::string findFirmwareImage(const std::string& binaryPath);
