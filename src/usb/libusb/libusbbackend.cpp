// SPDX-License-Identifier: MIT
#include "libusbbackend.h"

#include "fx2board.h"
#include "libusbtransport.h"

#include <libusb.h>

#include <cstdlib>
#include <iostream>
#include <set>
#include <sys/eventfd.h>
#include <unistd.h>

namespace kousb::usb {

namespace {

// Real boards take slots from here up, so that they do not take the low
// slots that simulated boards are usually given.
constexpr int kFirstSlot = 8;

int LIBUSB_CALL onHotplug(libusb_context*, libusb_device*, libusb_hotplug_event, void* user)
{
    static_cast<const LibusbBackend*>(user)->busChanged();
    return 0;  // stay registered
}

}  // namespace

LibusbBackend::LibusbBackend(std::vector<UsbId> ids, std::function<void()> onContentChange)
    : m_ids(std::move(ids)), m_onContentChange(std::move(onContentChange))
{
}

LibusbBackend::~LibusbBackend()
{
    if (m_events.joinable()) {
        m_stop = 1;
        libusb_interrupt_event_handler(m_context->get());
        m_events.join();
    }
    if (m_hotplug)
        libusb_hotplug_deregister_callback(m_context->get(), m_hotplugHandle);
    if (m_eventFd >= 0)
        ::close(m_eventFd);
}

std::vector<UsbId> LibusbBackend::idsFromEnvironment()
{
    std::vector<UsbId> ids = defaultUsbIds();
    if (const char* extra = std::getenv("KOUSB_USB_IDS")) {
        std::string error;
        if (!parseUsbIds(extra, ids, error))
            std::cerr << "kousb: KOUSB_USB_IDS: " << error << "; skipped" << std::endl;
    }
    return ids;
}

bool LibusbBackend::wanted(std::uint16_t vendor, std::uint16_t product) const
{
    for (const UsbId& id : m_ids)
        if (id.vendor == vendor && id.product == product)
            return true;
    return false;
}

void LibusbBackend::busChanged() const
{
    m_context->noteBusChange();
    signal();
}

void LibusbBackend::signal() const
{
    const std::uint64_t one = 1;
    if (m_eventFd >= 0)
        (void)!::write(m_eventFd, &one, sizeof one);
}

bool LibusbBackend::start()
{
    std::string error;
    m_context = LibusbContext::create(error);
    if (!m_context) {
        std::cerr << "kousb: no real boards: libusb did not start: " << error << std::endl;
        return false;
    }
    m_eventFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_eventFd < 0) {
        std::cerr << "kousb: real boards are seen only on request: no event descriptor" << std::endl;
        return true;
    }
    if (!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
        std::cerr << "kousb: real boards are seen only on request: libusb has no hot-plug here" << std::endl;
        return true;
    }
    // Every device counts: the list is applied in rescan(), where it is known.
    const int rc = libusb_hotplug_register_callback(
        m_context->get(), libusb_hotplug_event(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
        libusb_hotplug_flag(0), LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, onHotplug,
        this, &m_hotplugHandle);
    if (rc != LIBUSB_SUCCESS) {
        std::cerr << "kousb: real boards are seen only on request: " << libusb_error_name(rc) << std::endl;
        return true;
    }
    m_hotplug = true;
    m_context->setHotplug(true);
    // libusb delivers hot-plug callbacks from whoever handles its events.
    m_events = std::thread([this] {
        libusb_context* context = m_context->get();
        while (!m_stop) {
            timeval tv{1, 0};
            libusb_handle_events_timeout_completed(context, &tv, nullptr);
        }
    });
    return true;
}

int LibusbBackend::attach(Registry& registry, Tracked tracked, const std::vector<std::uint8_t>& key)
{
    std::vector<int> slots;
    if (auto last = m_lastSlot.find(key); last != m_lastSlot.end())
        slots.push_back(last->second);
    for (int slot = kFirstSlot; slot < Registry::kMaxSlots; ++slot)
        slots.push_back(slot);
    for (int slot : slots) {
        tracked.token = registry.attach(tracked.board, slot);
        if (tracked.token != 0) {
            tracked.slot = slot;
            m_boards[key] = std::move(tracked);
            return slot;
        }
    }
    return -1;
}

void LibusbBackend::rescan(Registry& registry)
{
    if (!m_context)
        return;
    if (m_eventFd >= 0) {
        std::uint64_t count;
        while (::read(m_eventFd, &count, sizeof count) > 0) {
        }
    }

    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(m_context->get(), &list);
    std::map<std::vector<std::uint8_t>, libusb_device*> present;
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(list[i], &d) == 0 && wanted(d.idVendor, d.idProduct))
            present.emplace(portKey(list[i]), list[i]);
    }

    for (auto it = m_boards.begin(); it != m_boards.end();) {
        Tracked& t = it->second;
        // A board in the middle of re-enumeration is absent for a moment and
        // comes back as another libusb device: its own call follows it, so
        // whatever is at its port now is not a new board.
        if (t.transport->reenumerating()) {
            present.erase(it->first);
            ++it;
            continue;
        }
        auto found = present.find(it->first);
        const bool same = found != present.end() && found->second == t.transport->device();
        if (same && !t.board->gone()) {
            present.erase(found);
            ++it;
            continue;
        }
        registry.detach(t.token);
        m_lastSlot[it->first] = t.slot;
        it = m_boards.erase(it);
    }

    for (const auto& [key, device] : present) {
        auto transport = std::make_shared<LibusbTransport>(m_context, device);
        auto board = std::make_shared<Fx2Board>(transport, [this] {
            signal();
            if (m_onContentChange)
                m_onContentChange();
        });
        if (attach(registry, Tracked{0, -1, transport, board}, key) < 0)
            std::cerr << "kousb: no free slot for a board" << std::endl;
    }
    if (n >= 0)
        libusb_free_device_list(list, 1);
}

}  // namespace kousb::usb
