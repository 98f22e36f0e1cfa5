// SPDX-License-Identifier: MIT
#pragma once
#include "backend.h"
#include "changenotifier.h"
#include "registry.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace kousb {

// The process-wide state behind the free functions of KoUSBLib.h.
class Library {
public:
    static Library& instance();

    bool init();
    bool onDeviceChange();
    int changeDescriptor() const { return m_notifier.descriptor(); }
    Registry& registry() { return m_registry; }

    // Adds a backend before InitUSB; used by tests to put a test double in a
    // slot. Backends added after InitUSB start at once.
    void addBackend(std::unique_ptr<Backend> backend);

    // A board changed what it shows (new firmware, new identity) but kept its
    // slot: the next OnDeviceChange reports a change. Safe from any thread.
    void noteContentChange() { m_contentChanged = true; }

private:
    Library() = default;
    void startBackend(Backend& backend);

    std::mutex m_mutex;  // serialises init, rescans and backend changes
    bool m_initialised = false;
    bool m_anyBackendStarted = false;
    Registry m_registry;
    ChangeNotifier m_notifier;
    std::vector<std::unique_ptr<Backend>> m_backends;
    std::vector<std::pair<int, Registry::Token>> m_lastSeen;
    // Set (from any thread) when a board changed what it shows but kept its
    // slot, so that OnDeviceChange reports a change all the same.
    std::atomic<bool> m_contentChanged{false};
};

}  // namespace kousb
