// SPDX-License-Identifier: MIT
#pragma once
// One emulated USB device node (/dev/bus/usb/BBB/DDD) under umockdev: the
// usbfs ioctls that libusb issues (capabilities, claim and release, URB
// submit, reap and discard, clear-halt) and the synchronous control transfer
// of older tools, answered from a DeviceModel.
//
// umockdev calls the handler on a thread of its own, so the URB queues are
// guarded; unplug() may come from any thread. Several processes may have the
// node open at once (the test and a tool it runs): each reaps only the URBs
// it submitted.
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
    // A URB and the client (one process's open node) that submitted it; both referenced.
    struct Urb {
        UMockdevIoctlClient* client;
        UMockdevIoctlData* data;
    };
    static void release(const Urb& urb);

    void submit(UMockdevIoctlClient* client, UMockdevIoctlData* urb);
    // USBDEVFS_CONTROL: the transfer done before the ioctl returns.
    bool control(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    // Asks the model about `urb`; false when it has nothing yet (NAK).
    bool serve(const Urb& urb);
    void finish(const Urb& urb, int status, std::size_t actual);
    void retryWaiting();

    std::shared_ptr<DeviceModel> m_model;
    std::function<void()> m_onRelease, m_onGone;
    UMockdevIoctlBase* m_handler = nullptr;
    std::mutex m_mutex;
    bool m_gone = false;
    std::string m_driver;        // the kernel driver bound to interface 0, if any
    std::vector<Urb> m_waiting;  // NAKed URBs, oldest first
    std::vector<Urb> m_done;     // finished URBs for their clients' next reap
};
