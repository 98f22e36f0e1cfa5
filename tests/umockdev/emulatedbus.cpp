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

std::string node(int address)
{
    char text[32];
    std::snprintf(text, sizeof text, "/dev/bus/usb/001/%03d", address);
    return text;
}

std::string hex(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    char two[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        text += two;
    }
    return text;
}

// String descriptor `index` in the first language the board offers, as
// text (the kernel keeps a board's strings in sysfs); empty when it has none.
std::string stringOf(DeviceModel& model, std::uint8_t index)
{
    std::vector<std::uint8_t> d(255);
    const std::uint8_t getLanguages[8] = {0x80, 6, 0, 3, 0, 0, 255, 0};
    ModelReply r = model.control(getLanguages, d.data());
    if (!index || r.outcome != ModelReply::Done || r.actual < 4)
        return {};
    const std::uint8_t getString[8] = {0x80, 6, index, 3, d[2], d[3], 255, 0};
    r = model.control(getString, d.data());
    if (r.outcome != ModelReply::Done || r.actual < 2)
        return {};
    std::string text;
    for (std::size_t i = 2; i + 1 < std::min<std::size_t>(r.actual, d[0]); i += 2)
        text += d[i + 1] || d[i] < 0x20 || d[i] > 0x7E ? '?' : char(d[i]);
    return text;
}

// What the kernel reads from a board that arrives: its device descriptor and
// its first configuration, which it then sets. Empty when the board does not
// answer (the kernel gives up on it).
std::vector<std::uint8_t> enumerate(DeviceModel& model)
{
    std::vector<std::uint8_t> device(18), head(9);
    const std::uint8_t getDevice[8] = {0x80, 6, 0, 1, 0, 0, 18, 0};
    const std::uint8_t getHead[8] = {0x80, 6, 0, 2, 0, 0, 9, 0};
    ModelReply r = model.control(getDevice, device.data());
    if (r.outcome != ModelReply::Done || r.actual != 18)
        return {};
    r = model.control(getHead, head.data());
    if (r.outcome != ModelReply::Done || r.actual != 9)
        return {};
    const std::uint16_t total = std::uint16_t(head[2] | head[3] << 8);
    std::vector<std::uint8_t> config(total);
    const std::uint8_t getConfig[8] = {0x80, 6, 0, 2, 0, 0, std::uint8_t(total), std::uint8_t(total >> 8)};
    r = model.control(getConfig, config.data());
    if (r.outcome != ModelReply::Done || r.actual != total)
        return {};
    const std::uint8_t setConfig[8] = {0x00, 9, config[5], 0, 0, 0, 0, 0};
    model.control(setConfig, nullptr);
    device.insert(device.end(), config.begin(), config.end());
    return device;
}

// The udev record of a board: its descriptors and strings as it served them, its speed.
std::string boardRecord(int port, int address, bool fullSpeed, const std::vector<std::uint8_t>& descriptors,
                        const std::string& strings)
{
    const std::string devnode = node(address);
    char devnum[8];
    std::snprintf(devnum, sizeof devnum, "%03d", address);
    return std::string("P: /devices/pci0000:00/0000:00:14.0/usb1/1-") + std::to_string(port) + "\n"
           + "N: " + devnode.substr(5) + "\n"
           + "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\nE: DEVNUM=" + devnum + "\n"
           + "E: DEVNAME=" + devnode + "\n" + "A: busnum=1\\n\nA: devnum=" + std::to_string(address) + "\\n\nA: speed="
           + (fullSpeed ? "12" : "480") + "\\n\n" + "A: bConfigurationValue=" + std::to_string(descriptors[18 + 5])
           + "\\n\n" + strings + "H: descriptors=" + hex(descriptors) + "\n";
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
    model->attach();
    const std::vector<std::uint8_t> descriptors = enumerate(*model);
    std::string strings;
    for (const auto& [attribute, index] :
         {std::pair<const char*, int>{"manufacturer", 14}, {"product", 15}, {"serial", 16}})
        if (!descriptors.empty())
            if (const std::string text = stringOf(*model, descriptors[std::size_t(index)]); !text.empty())
                strings += std::string("A: ") + attribute + "=" + text + "\\n\n";
    if (!descriptors.empty())
        umockdev_testbed_add_from_string(
            m_testbed, boardRecord(port, address, model->fullSpeed(), descriptors, strings).c_str(), nullptr);
    else
        std::fprintf(stderr, "emulated bus: the board at port %d did not give its descriptors\n", port);
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
    gchar* root = umockdev_testbed_get_root_dir(m_testbed);
    std::string path = std::string(root) + devnode(port);
    g_free(root);
    return path;
}

std::string EmulatedBus::devnode(int port) const { return node(address(port)); }

std::vector<std::string> EmulatedBus::environment() const
{
    gchar* root = umockdev_testbed_get_root_dir(m_testbed);
    std::vector<std::string> env{"UMOCKDEV_DIR=" + std::string(root), "LD_PRELOAD=libumockdev-preload.so.0"};
    g_free(root);
    return env;
}

void EmulatedBus::setKernelDriver(int port, const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (auto it = m_ports.find(port); it != m_ports.end())
        it->second.node->setKernelDriver(name);
}
