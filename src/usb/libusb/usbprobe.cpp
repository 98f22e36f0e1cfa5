// SPDX-License-Identifier: MIT
#include "usbprobe.h"

#include "libusbtransport.h"

#include <libusb.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kousb::usb {

namespace {

// A transport for the one control transfer the firmware probe makes, on a
// handle whose interface nobody here claims.
class ControlOnly : public Transport {
public:
    ControlOnly(libusb_device_handle* handle, DeviceDescription description)
        : m_handle(handle), m_description(std::move(description))
    {
    }
    DeviceDescription description() const override { return m_description; }
    TransferResult control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                           std::uint8_t* data, std::size_t length, Milliseconds timeout) override
    {
        const int rc = libusb_control_transfer(m_handle, requestType, request, value, index, data,
                                               std::uint16_t(length), unsigned(timeout.count()));
        return libusbResult(rc, rc);
    }
    TransferResult bulk(std::uint8_t, std::uint8_t*, std::size_t, Milliseconds) override { return unused(); }
    TransferResult interrupt(std::uint8_t, std::uint8_t*, std::size_t, Milliseconds) override { return unused(); }
    TransferResult clearHalt(std::uint8_t) override { return unused(); }
    TransferResult awaitReenumeration(Milliseconds, Milliseconds) override { return unused(); }

private:
    static TransferResult unused() { return {TransferError::Other, 0, "not available while probing"}; }
    libusb_device_handle* m_handle;
    DeviceDescription m_description;
};

// Which driver usbfs says holds interface 0 of the open node `fd`; empty for none.
std::string driverOf(int fd)
{
    usbdevfs_getdriver request{};
    request.interface = 0;
    if (::ioctl(fd, USBDEVFS_GETDRIVER, &request) != 0)
        return {};
    return std::string(request.driver, strnlen(request.driver, sizeof request.driver));
}

void probe(libusb_device* device, UsbDeviceFacts& facts)
{
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", facts.bus, facts.address);
    facts.node = node;
    // The same open libusb makes, so its error is the one a program of ours would meet.
    const int fd = ::open(node, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        facts.openError = errno;
        return;
    }
    facts.kernelDriver = driverOf(fd);
    ::close(fd);
    libusb_device_handle* handle = nullptr;
    if (libusb_open(device, &handle) != 0)
        return;
    DeviceDescription description;
    description.vendorId = facts.vendorId;
    description.productId = facts.productId;
    ControlOnly transport(handle, description);
    facts.firmware = probeFirmware(transport, description);
    facts.firmwareProbed = true;
    libusb_close(handle);
}

}  // namespace

bool probeUsbDevices(const std::vector<UsbId>& ids, std::vector<UsbDeviceFacts>& devices, std::string& error)
{
    auto context = LibusbContext::create(error);
    if (!context)
        return false;
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(context->get(), &list);
    if (n < 0) {
        error = libusb_error_name(int(n));
        return false;
    }
    devices.clear();
    std::vector<std::pair<std::vector<std::uint8_t>, libusb_device*>> wanted;
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(list[i], &d) != 0)
            continue;
        if (std::find(ids.begin(), ids.end(), UsbId{d.idVendor, d.idProduct}) != ids.end())
            wanted.emplace_back(portKey(list[i]), list[i]);
    }
    std::sort(wanted.begin(), wanted.end());
    for (const auto& [key, device] : wanted) {
        UsbDeviceFacts facts;
        libusb_device_descriptor d{};
        libusb_get_device_descriptor(device, &d);
        facts.vendorId = d.idVendor;
        facts.productId = d.idProduct;
        facts.bus = libusb_get_bus_number(device);
        facts.address = libusb_get_device_address(device);
        facts.place = usbPlace(facts.bus, std::vector<std::uint8_t>(key.begin() + 1, key.end()));
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_active_config_descriptor(device, &config) == 0) {
            facts.configuration = config->bConfigurationValue;
            libusb_free_config_descriptor(config);
        }
        probe(device, facts);
        devices.push_back(std::move(facts));
    }
    libusb_free_device_list(list, 1);
    return true;
}

bool autoDetachSupported() { return libusb_has_capability(LIBUSB_CAP_SUPPORTS_DETACH_KERNEL_DRIVER) != 0; }

}  // namespace kousb::usb
