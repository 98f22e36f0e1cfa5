// SPDX-License-Identifier: MIT
#pragma once
#include "../backend.h"
#include "../registry.h"
#include "usbids.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <vector>

namespace kousb::usb {

class Fx2Board;
class LibusbContext;
class LibusbTransport;

// Serves real boards through libusb: every device whose vendor:product is in
// the list becomes a board in the registry. Hot-plug events arrive on a
// thread of the backend's own, which only makes the descriptor readable; the
// registry changes in rescan(). A board keeps its slot across re-enumeration,
// and takes the slot it had before when it is plugged into the same port again.
class LibusbBackend : public Backend {
public:
    // `onContentChange` is called when a board in the registry changed what it
    // shows (new firmware, new identity) without leaving its slot.
    LibusbBackend(std::vector<UsbId> ids, std::function<void()> onContentChange);
    ~LibusbBackend() override;

    // The pairs looked for: the defaults and those named in KOUSB_USB_IDS
    // (a bad entry is reported on stderr and skipped).
    static std::vector<UsbId> idsFromEnvironment();

    bool start() override;
    int descriptor() const override { return m_eventFd; }
    void rescan(Registry& registry) override;

    // Makes the descriptor readable; safe from any thread.
    void signal() const;
    // A hot-plug event: wakes whatever waits on the bus (a board followed
    // through re-enumeration) and makes the descriptor readable.
    void busChanged() const;

private:
    struct Tracked {
        Registry::Token token = 0;
        int slot = -1;
        std::shared_ptr<LibusbTransport> transport;
        std::shared_ptr<Fx2Board> board;
    };
    bool wanted(std::uint16_t vendor, std::uint16_t product) const;
    // Puts the board in the slot its port had last, or the lowest free one from kFirstSlot up.
    int attach(Registry& registry, Tracked tracked, const std::vector<std::uint8_t>& key);

    std::vector<UsbId> m_ids;
    std::function<void()> m_onContentChange;
    std::shared_ptr<LibusbContext> m_context;
    int m_eventFd = -1;
    int m_hotplugHandle = 0;
    bool m_hotplug = false;
    std::atomic<int> m_stop{0};
    std::thread m_events;
    std::map<std::vector<std::uint8_t>, Tracked> m_boards;  // by port key
    std::map<std::vector<std::uint8_t>, int> m_lastSlot;    // slot a port's board had last
};

}  // namespace kousb::usb
