// SPDX-License-Identifier: MIT
#pragma once
// The facts kousb doctor judges (doctorchecks.h), gathered from the system:
// udev rules, the user and their groups, device nodes, the simulated boards'
// folder. What the USB devices say comes from usbprobe.h.
#include "doctorchecks.h"
#include "libusb/usbids.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace doctor {

// Where udev reads rules from, in the order a file name found in an earlier
// folder hides the same name in a later one.
std::vector<std::string> udevRuleFolders();

// The installed rule lines for vendor:product in `folders`, in the order
// udev applies them (by file name).
std::vector<UdevRule> installedRules(const std::vector<std::string>& folders, std::uint16_t vendorId,
                                     std::uint16_t productId);

UserFacts currentUser();

// The owner, group, mode and seat ACL of the device node at `path`.
NodeFacts nodeFacts(const std::string& path, int openError);

// How to run the installer of the udev rule for vendor:product (the copy
// installed beside this program, else the one in the source tree,
// packaging/install-udev-rule.sh).
Installer installerFor(std::uint16_t vendorId, std::uint16_t productId);

// Every USB device with one of `ids` (usbprobe.h), judged: whether it opens
// and why not, a kernel driver on it, what runs on it; and a line on the
// udev rules installed for each of `ids`. Problems with libusb itself are a
// finding too.
std::vector<Finding> examineUsb(const std::vector<kousb::usb::UsbId>& ids);

// The simulated boards' folder and the board files in it; `listed` gives,
// by slot, the ID and name of each board the library serves.
SimFolderFacts simFolderFacts(const std::map<int, std::pair<std::int32_t, std::string>>& listed);

}  // namespace doctor
