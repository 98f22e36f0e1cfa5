// SPDX-License-Identifier: MIT
#include "emulatedbus.h"

#include "usbfsnode.h"

#include <umockdev.h>

#include <chrono>
#include <cstdio>
#include <dlfcn.h>

namespace {

const char* const kHubPath = "/sys/devices/pci0000:00/0000:00:14.0/usb1";

const char* const kRootHub =
    "P: /devices/pci0000:00/0000:00:14.0/usb1\n"
    "N: bus/usb/001/001\n"
    "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
    "E: BUSNUM=001\nE: DEVNUM=001\nE: DEVNAME=/dev/bus/usb/001/001\n"
    "A: busnum=1\\n\nA: devnum=1\\n\nA: speed=480\\n\nA: bConfigurationValue=1\\n\n"
    "H: descriptors=12010002090001406b1d020006050302010109021900010100e0000904000001090000000705810304000c\n";

std::string hex16le(unsigned v)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02x%02x", v & 0xFF, (v >> 8) & 0xFF);
    return text;
}

std::string node(int address)
{
    char text[32];
    std::snprintf(text, sizeof text, "/dev/bus/usb/001/%03d", address);
    return text;
}

// The udev record of our board: vendor 04b4, the model's product ID, iProduct 2;
// interface 0 (class ff) with EP1 IN/OUT interrupt 64, EP2 OUT bulk 512, EP6 IN bulk 512.
std::string boardRecord(int port, int address, std::uint16_t product)
{
    const std::string devnode = node(address);
    char devnum[8];
    std::snprintf(devnum, sizeof devnum, "%03d", address);
    return std::string("P: /devices/pci0000:00/0000:00:14.0/usb1/1-") + std::to_string(port) + "\n"
           + "N: " + devnode.substr(5) + "\n"
           + "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\nE: DEVNUM=" + devnum + "\n"
           + "E: DEVNAME=" + devnode + "\n" + "A: busnum=1\\n\nA: devnum=" + std::to_string(address)
           + "\\n\nA: speed=480\\n\n" + "A: bConfigurationValue=1\\n\n" + "H: descriptors=1201000200000040b404"
           + hex16le(product) + "0001010200" + "01" + "09022e00010100803209040000" + "04ff000000" + "07058103400001"
           + "07050103400001" + "07050202000200" + "07058602000200" + "\n";
}

std::string sysPath(int port) { return std::string(kHubPath) + "/1-" + std::to_string(port); }

}  // namespace

bool EmulatedBus::available(std::string& why)
{
    // umockdev_in_mock_environment() says false until a testbed exists, so
    // ask the loader whether the preload library is in.
    if (dlopen("libumockdev-preload.so.0", RTLD_NOW | RTLD_NOLOAD))
        return true;
    why = "umockdev's preload library is not loaded (link -lumockdev-preload or run under umockdev-wrapper)";
    return false;
}

EmulatedBus::EmulatedBus()
{
    m_testbed = umockdev_testbed_new();
    umockdev_testbed_add_from_string(m_testbed, kRootHub, nullptr);
}

EmulatedBus::~EmulatedBus()
{
    settle();
    for (std::thread& t : m_workers)
        t.join();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& [port, slot] : m_ports)
            slot.node->unplug();
    }
    m_ports.clear();
    m_retired.clear();
    g_object_unref(m_testbed);
}

void EmulatedBus::plugLocked(int port, std::shared_ptr<DeviceModel> model)
{
    const int address = m_nextAddress++;
    auto* self = this;
    Slot slot;
    slot.address = address;
    slot.model = model;
    // Attached before the node exists, so that libusb never finds it unanswered.
    slot.node = std::make_unique<UsbfsNode>(
        m_testbed, node(address).c_str(), model, [self, port] { self->later(port, true); },
        [self, port] { self->later(port, false); });
    umockdev_testbed_add_from_string(m_testbed, boardRecord(port, address, model->productId()).c_str(), nullptr);
    m_ports[port] = std::move(slot);
}

void EmulatedBus::unplugLocked(int port)
{
    auto it = m_ports.find(port);
    if (it == m_ports.end())
        return;
    it->second.node->unplug();
    umockdev_testbed_uevent(m_testbed, sysPath(port).c_str(), "remove");
    umockdev_testbed_remove_device(m_testbed, sysPath(port).c_str());
    m_retired.push_back(std::move(it->second.node));
    m_ports.erase(it);
}

void EmulatedBus::plug(int port, std::shared_ptr<DeviceModel> model)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    plugLocked(port, std::move(model));
}

void EmulatedBus::unplug(int port)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    unplugLocked(port);
}

void EmulatedBus::unplugAll()
{
    settle();
    std::lock_guard<std::mutex> lock(m_mutex);
    while (!m_ports.empty())
        unplugLocked(m_ports.begin()->first);
}

void EmulatedBus::reenumerate(int port)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_ports.find(port);
    if (it == m_ports.end())
        return;
    std::shared_ptr<DeviceModel> model = it->second.model;
    unplugLocked(port);
    plugLocked(port, std::move(model));
}

void EmulatedBus::later(int port, bool replug)
{
    // Called on umockdev's thread inside a node's handler: only counts and
    // starts the work, which takes the bus's lock and the node's.
    {
        std::lock_guard<std::mutex> lock(m_workersMutex);
        ++m_busy;
    }
    std::thread worker([this, port, replug] {
        // A board takes a moment to drop off the bus after the CPU starts.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (replug)
            reenumerate(port);
        else
            unplug(port);
        std::lock_guard<std::mutex> lock(m_workersMutex);
        --m_busy;
        m_idle.notify_all();
    });
    std::lock_guard<std::mutex> lock(m_workersMutex);
    m_workers.push_back(std::move(worker));
}

void EmulatedBus::settle()
{
    std::unique_lock<std::mutex> lock(m_workersMutex);
    m_idle.wait(lock, [this] { return m_busy == 0; });
}

int EmulatedBus::address(int port) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_ports.find(port);
    return it == m_ports.end() ? 0 : it->second.address;
}

std::string EmulatedBus::nodeFile(int port) const
{
    const int a = address(port);
    gchar* root = umockdev_testbed_get_root_dir(m_testbed);
    std::string path = std::string(root) + node(a);
    g_free(root);
    return path;
}

void EmulatedBus::setKernelDriver(int port, const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (auto it = m_ports.find(port); it != m_ports.end())
        it->second.node->setKernelDriver(name);
}
