// SPDX-License-Identifier: MIT
#pragma once
// A USB bus under umockdev: a root hub on bus 1 and boards at its ports,
// each a device node whose usbfs ioctls a DeviceModel answers, so that the
// real libusb (and the library on top of it) sees them as plugged in.
//
// A board that lets its CPU run drops off and comes back at the same port
// with a new address and the product ID it shows now, as a real one does.
// Each time a board arrives, the bus reads its device and configuration
// descriptors and strings and sets its configuration, as the kernel does;
// sysfs shows what the board answered and its speed (480 or 12 Mbit/s).
// Create the bus before libusb starts (it redirects /sys and /dev there).
#include "devicemodel.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;
class UsbfsNode;

class EmulatedBus {
public:
    // False (with a reason) when the process does not run with umockdev's
    // preload library; the bus is then unusable.
    static bool available(std::string& why);

    EmulatedBus();
    ~EmulatedBus();
    EmulatedBus(const EmulatedBus&) = delete;
    EmulatedBus& operator=(const EmulatedBus&) = delete;

    // Plugs a board in at root hub `port` (1-15) with the next device address.
    void plug(int port, std::shared_ptr<DeviceModel> model);
    // The board at `port` leaves: its transfers fail, "remove" is announced.
    void unplug(int port);
    // Unplugs every board (so that libusb lets go of them before the bus goes).
    void unplugAll();
    // Unplugs and plugs in again with a new address (what a firmware start does).
    void reenumerate(int port);
    // Waits until the re-enumerations the boards started themselves are done.
    void settle();

    // The device address of the board at `port` now; 0 when none.
    int address(int port) const;
    // The file behind the board's device node, to change its permissions.
    std::string nodeFile(int port) const;
    // The board's device node as a program under umockdev names it.
    std::string devnode(int port) const;
    // The environment a child program needs to see this bus and reach its
    // boards (umockdev's preload library and the testbed), as NAME=VALUE.
    std::vector<std::string> environment() const;
    // A kernel driver the board at `port` shows as bound to interface 0.
    void setKernelDriver(int port, const std::string& name);

private:
    struct Slot {
        int address = 0;
        std::shared_ptr<DeviceModel> model;
        std::unique_ptr<UsbfsNode> node;
    };
    void plugLocked(int port, std::shared_ptr<DeviceModel> model);
    void unplugLocked(int port);
    // Re-enumerates (or unplugs) the board at `port` on a thread of the bus's
    // own: the node's handler that asks for it must not wait for it.
    void later(int port, bool replug);

    UMockdevTestbed* m_testbed = nullptr;
    mutable std::mutex m_mutex;  // the testbed and m_ports
    int m_nextAddress = 2;
    std::mutex m_workersMutex;  // never held while a node's lock is taken
    std::condition_variable m_idle;
    int m_busy = 0;
    std::map<int, Slot> m_ports;
    std::vector<std::unique_ptr<UsbfsNode>> m_retired;  // nodes of boards that left; old handles may still ask them
    std::vector<std::thread> m_workers;
};
