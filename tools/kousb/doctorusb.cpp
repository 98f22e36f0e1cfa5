// SPDX-License-Identifier: MIT
// kousb doctor on the USB devices: the probe's facts and the system's, judged.
#include "doctorfacts.h"
#include "libusb/usbprobe.h"

#include <cstdio>

namespace doctor {

namespace {

std::string pairText(std::uint16_t vendorId, std::uint16_t productId)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", vendorId, productId);
    return text;
}

}  // namespace

std::vector<Finding> examineUsb(const std::vector<kousb::usb::UsbId>& ids)
{
    std::vector<Finding> findings;
    const std::vector<std::string> folders = udevRuleFolders();
    for (const kousb::usb::UsbId& id : ids)
        findings.push_back(judgeRulesInstalled(pairText(id.vendor, id.product),
                                               installedRules(folders, id.vendor, id.product),
                                               installerFor(id.vendor, id.product)));
    std::vector<kousb::usb::UsbDeviceFacts> devices;
    std::string error;
    if (!kousb::usb::probeUsbDevices(ids, devices, error)) {
        findings.push_back({Finding::Level::Problem, "usb", "libusb does not start: " + error,
                            "check that /dev/bus/usb and /sys/bus/usb exist (in a container: pass them in)"});
        return findings;
    }
    if (devices.empty())
        findings.push_back({Finding::Level::Ok, "usb", "no board plugged in", {}});
    const UserFacts user = currentUser();
    for (const kousb::usb::UsbDeviceFacts& device : devices) {
        const std::string subject = "usb " + device.place + " " + pairText(device.vendorId, device.productId);
        findings.push_back(judgeAccess(subject, nodeFacts(device.node, device.openError),
                                       installedRules(folders, device.vendorId, device.productId), user,
                                       installerFor(device.vendorId, device.productId)));
        if (!device.kernelDriver.empty())
            findings.push_back(judgeDriver(subject, device.kernelDriver, device.place, device.configuration,
                                           kousb::usb::autoDetachSupported()));
        if (device.firmwareProbed)
            findings.push_back(judgeFirmware(subject, device.firmware));
    }
    return findings;
}

}  // namespace doctor
