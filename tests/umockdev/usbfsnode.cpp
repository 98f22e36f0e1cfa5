// SPDX-License-Identifier: MIT
#include "usbfsnode.h"

#include <umockdev.h>

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>

UsbfsNode::UsbfsNode(UMockdevTestbed* testbed, const char* devnode, std::shared_ptr<DeviceModel> model,
                     std::function<void()> onRelease, std::function<void()> onGone)
    : m_model(std::move(model)), m_onRelease(std::move(onRelease)), m_onGone(std::move(onGone))
{
    m_handler = umockdev_ioctl_base_new();
    g_signal_connect(m_handler, "handle-ioctl", G_CALLBACK(&UsbfsNode::onIoctl), this);
    umockdev_testbed_attach_ioctl(testbed, devnode, m_handler, nullptr);
}

UsbfsNode::~UsbfsNode()
{
    g_signal_handlers_disconnect_by_data(m_handler, this);
    g_object_unref(m_handler);
    for (const Urb& u : m_waiting)
        release(u);
    for (const Urb& u : m_done)
        release(u);
}

void UsbfsNode::release(const Urb& urb)
{
    umockdev_ioctl_data_unref(urb.data);
    g_object_unref(urb.client);
}

void UsbfsNode::unplug()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_gone = true;
    for (const Urb& urb : m_waiting) {
        finish(urb, -ESHUTDOWN, 0);
        release(urb);
    }
    m_waiting.clear();
}

void UsbfsNode::setKernelDriver(const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_driver = name;
}

int UsbfsNode::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self)
{
    return static_cast<UsbfsNode*>(self)->handle(client);
}

void UsbfsNode::finish(const Urb& u, int status, std::size_t actual)
{
    auto* urb = reinterpret_cast<usbdevfs_urb*>(u.data->data);
    urb->status = status;
    urb->actual_length = int(actual);
    m_done.push_back({static_cast<UMockdevIoctlClient*>(g_object_ref(u.client)), umockdev_ioctl_data_ref(u.data)});
}

bool UsbfsNode::serve(const Urb& u)
{
    UMockdevIoctlData* urbData = u.data;
    auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
    // A zero-length transfer (a bulk write's closing packet) has no buffer to resolve.
    std::uint8_t none = 0;
    UMockdevIoctlData* buffer = urb->buffer_length > 0 ? umockdev_ioctl_data_resolve(
                                    urbData, offsetof(usbdevfs_urb, buffer), std::size_t(urb->buffer_length), nullptr)
                                                       : nullptr;
    auto* bytes = buffer ? reinterpret_cast<std::uint8_t*>(buffer->data) : &none;
    ModelReply reply;
    if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
        // The SETUP packet leads the buffer; the length libusb gets back leaves it out.
        reply = m_model->control(bytes, bytes + 8);
        if (reply.outcome == ModelReply::Done && m_model->takeRelease() && m_onRelease)
            m_onRelease();
    } else {
        reply = m_model->transfer(urb->endpoint, urb->type == USBDEVFS_URB_TYPE_INTERRUPT, bytes,
                                  std::size_t(urb->buffer_length));
    }
    if (buffer)
        umockdev_ioctl_data_unref(buffer);
    switch (reply.outcome) {
    case ModelReply::Done: finish(u, 0, reply.actual); return true;
    case ModelReply::Stall: finish(u, -EPIPE, reply.actual); return true;
    case ModelReply::Overflow: finish(u, -EOVERFLOW, reply.actual); return true;
    case ModelReply::Nak: return false;
    case ModelReply::Gone:
        finish(u, -ESHUTDOWN, 0);
        if (!m_gone && m_onGone)
            m_onGone();
        m_gone = true;
        return true;
    }
    return true;
}

bool UsbfsNode::control(UMockdevIoctlClient* client, UMockdevIoctlData* arg)
{
    UMockdevIoctlData* request = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ctrltransfer), nullptr);
    const auto* c = reinterpret_cast<const usbdevfs_ctrltransfer*>(request->data);
    const std::uint8_t setup[8] = {c->bRequestType,          c->bRequest,
                                   std::uint8_t(c->wValue),  std::uint8_t(c->wValue >> 8),
                                   std::uint8_t(c->wIndex),  std::uint8_t(c->wIndex >> 8),
                                   std::uint8_t(c->wLength), std::uint8_t(c->wLength >> 8)};
    UMockdevIoctlData* buffer =
        c->wLength ? umockdev_ioctl_data_resolve(request, offsetof(usbdevfs_ctrltransfer, data), c->wLength, nullptr)
                   : nullptr;
    const ModelReply reply = m_model->control(setup, buffer ? reinterpret_cast<std::uint8_t*>(buffer->data) : nullptr);
    if (buffer)
        umockdev_ioctl_data_unref(buffer);
    umockdev_ioctl_data_unref(request);
    switch (reply.outcome) {
    case ModelReply::Done:
        if (m_model->takeRelease() && m_onRelease)
            m_onRelease();
        umockdev_ioctl_client_complete(client, long(reply.actual), 0);
        return true;
    case ModelReply::Stall: umockdev_ioctl_client_complete(client, -1, EPIPE); return true;
    case ModelReply::Overflow: umockdev_ioctl_client_complete(client, -1, EOVERFLOW); return true;
    case ModelReply::Nak: umockdev_ioctl_client_complete(client, -1, ETIMEDOUT); return true;
    case ModelReply::Gone: break;
    }
    if (!m_gone && m_onGone)
        m_onGone();
    m_gone = true;
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return true;
}

void UsbfsNode::retryWaiting()
{
    // Data that came in on an OUT endpoint may answer a waiting IN transfer.
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        auto* urb = reinterpret_cast<usbdevfs_urb*>(it->data->data);
        if ((urb->endpoint & 0x80) && urb->type != USBDEVFS_URB_TYPE_CONTROL && serve(*it)) {
            release(*it);
            it = m_waiting.erase(it);
        } else {
            ++it;
        }
    }
}

void UsbfsNode::submit(UMockdevIoctlClient* client, UMockdevIoctlData* urbData)
{
    const Urb u{client, urbData};
    if (!serve(u)) {
        m_waiting.push_back(
            {static_cast<UMockdevIoctlClient*>(g_object_ref(client)), umockdev_ioctl_data_ref(urbData)});
        return;
    }
    auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
    if (!(urb->endpoint & 0x80) && urb->type != USBDEVFS_URB_TYPE_CONTROL)
        retryWaiting();
}

bool UsbfsNode::handle(UMockdevIoctlClient* client)
{
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    std::lock_guard<std::mutex> lock(m_mutex);
    auto fail = [&](int error) {
        umockdev_ioctl_client_complete(client, -1, error);
        return true;
    };
    auto succeed = [&] {
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    };
    switch (request) {
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: {
        auto it = std::find_if(m_done.begin(), m_done.end(), [&](const Urb& u) { return u.client == client; });
        if (it == m_done.end())
            return fail(m_gone ? ENODEV : EAGAIN);
        const Urb urb = *it;
        m_done.erase(it);
        UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
        umockdev_ioctl_data_set_ptr(slot, 0, urb.data);
        umockdev_ioctl_data_unref(slot);
        release(urb);
        return succeed();
    }
    case USBDEVFS_DISCARDURB: {
        const auto address = *reinterpret_cast<gulong*>(arg->data);
        auto it = std::find_if(m_waiting.begin(), m_waiting.end(),
                               [&](const Urb& u) { return u.client == client && u.data->client_addr == address; });
        if (it == m_waiting.end())
            return fail(EINVAL);
        finish(*it, -ENOENT, 0);
        release(*it);
        m_waiting.erase(it);
        return succeed();
    }
    default: break;
    }
    if (m_gone)
        return fail(ENODEV);
    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
        *reinterpret_cast<guint32*>(caps->data) = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM
                                                  | USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
        umockdev_ioctl_data_unref(caps);
        return succeed();
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_DISCONNECT_CLAIM:
    case USBDEVFS_RESETEP:
    case USBDEVFS_IOCTL:  // USBDEVFS_CONNECT on release, with auto-detach
        return succeed();
    case USBDEVFS_GETDRIVER: {
        UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_getdriver), nullptr);
        auto* request = reinterpret_cast<usbdevfs_getdriver*>(data->data);
        const bool bound = request->interface == 0 && !m_driver.empty();
        if (bound)
            request->driver[m_driver.copy(request->driver, sizeof request->driver - 1)] = '\0';
        umockdev_ioctl_data_unref(data);
        return bound ? succeed() : fail(ENODATA);
    }
    case USBDEVFS_CLEAR_HALT: {
        UMockdevIoctlData* endpoint = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned), nullptr);
        const bool cleared = m_model->clearHalt(std::uint8_t(*reinterpret_cast<unsigned*>(endpoint->data)));
        umockdev_ioctl_data_unref(endpoint);
        return cleared ? succeed() : fail(ENODEV);
    }
    case USBDEVFS_CONTROL:  // a synchronous control transfer (fxload uses it)
        return control(client, arg);
    case USBDEVFS_SUBMITURB: {
        UMockdevIoctlData* urb = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
        submit(client, urb);
        umockdev_ioctl_data_unref(urb);
        return succeed();
    }
    default: return false;  // umockdev reports it
    }
}
