// SPDX-License-Identifier: MIT
#pragma once
// One emulated USB device node (/dev/bus/usb/BBB/DDD) under umockdev: the
// usbfs ioctls that libusb issues (capabilities, claim and release, URB
// submit, reap and discard, clear-halt) answered from a DeviceModel.
//
// umockdev calls the handler on a thread of its own, so the URB queues are
// guarded; unplug() may come from any thread.
#include "devicemodel.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

class UsbfsNode {
public:
    // `onRelease` runs (on umockdev's thread) when the model says the CPU was
    // let run; `onGone` when the model says the board has gone. Both must
    // only hand work to another thread.
    UsbfsNode(UMockdevTestbed* testbed, const char* devnode, std::shared_ptr<DeviceModel> model,
              std::function<void()> onRelease, std::function<void()> onGone);
    ~UsbfsNode();
    UsbfsNode(const UsbfsNode&) = delete;
    UsbfsNode& operator=(const UsbfsNode&) = delete;

    // The device has gone: waiting URBs end with ESHUTDOWN, later ioctls fail with ENODEV.
    void unplug();
    // The kernel driver usbfs names as bound to interface 0 (GETDRIVER); empty: none.
    void setKernelDriver(const std::string& name);

private:
    static int onIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);
    bool handle(UMockdevIoctlClient* client);
    void submit(UMockdevIoctlData* urb);
    // Asks the model about `urb`; false when it has nothing yet (NAK).
    bool serve(UMockdevIoctlData* urb);
    void finish(UMockdevIoctlData* urb, int status, std::size_t actual);
    void retryWaiting();

    std::shared_ptr<DeviceModel> m_model;
    std::function<void()> m_onRelease, m_onGone;
    UMockdevIoctlBase* m_handler = nullptr;
    std::mutex m_mutex;
    bool m_gone = false;
    std::string m_driver;
    std::vector<UMockdevIoctlData*> m_waiting;  // NAKed URBs, oldest first (referenced)
    std::vector<UMockdevIoctlData*> m_done;     // finished URBs for the next reap (referenced)
};
