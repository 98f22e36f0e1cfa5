// SPDX-License-Identifier: MIT
#pragma once
// What the host can find out about the USB devices with our IDs without
// changing anything on them (no interface claimed, no driver detached): for
// kousb doctor, which judges the facts (tools/kousb/doctorchecks.h).
#include "firmwareprobe.h"
#include "usbids.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kousb::usb {

struct UsbDeviceFacts {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    int bus = 0;
    int address = 0;
    int configuration = 1;  // bConfigurationValue of the active configuration
    std::string place;      // usbPlace(): "1-2.3"
    std::string node;       // "/dev/bus/usb/001/002"
    int openError = 0;      // errno of opening the node for reading and writing; 0: it opened
    // The kernel driver bound to interface 0, as usbfs names it (empty:
    // none); known only when the node opened.
    std::string kernelDriver;
    bool firmwareProbed = false;  // the node opened and the version request was tried
    FirmwareProbe firmware;
};

// Every device whose vendor:product is in `ids`, in bus and port order.
// Each node is opened, asked which driver holds interface 0 and what runs on
// the device (one control transfer, which needs no claimed interface), and
// closed again. False with `error` when libusb does not start.
bool probeUsbDevices(const std::vector<UsbId>& ids, std::vector<UsbDeviceFacts>& devices, std::string& error);

// Whether libusb here can take a kernel driver off an interface while a
// program works on it (libusb_set_auto_detach_kernel_driver).
bool autoDetachSupported();

}  // namespace kousb::usb
