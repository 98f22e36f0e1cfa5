// SPDX-License-Identifier: MIT
#include "library.h"

#include "sim/simbackend.h"
#ifdef KOUSB_HAVE_LIBUSB
#include "libusb/libusbbackend.h"
#endif

#include <cstdlib>
#include <cstring>

namespace kousb {

Library& Library::instance()
{
    static Library library;
    return library;
}

void Library::addBackend(std::unique_ptr<Backend> backend)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_backends.push_back(std::move(backend));
    if (m_initialised)
        startBackend(*m_backends.back());
}

void Library::startBackend(Backend& backend)
{
    if (backend.start()) {
        m_notifier.add(backend.descriptor());
        m_anyBackendStarted = true;
    }
}

bool Library::init()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_initialised) {
        m_backends.push_back(
            std::make_unique<sim::SimBackend>(sim::SimBackend::defaultDirectory(), [this] { noteContentChange(); }));
#ifdef KOUSB_HAVE_LIBUSB
        // KOUSB_USB_BACKEND=off leaves real boards out (the test suite does).
        const char* usb = std::getenv("KOUSB_USB_BACKEND");
        if (!usb || std::strcmp(usb, "off") != 0)
            m_backends.push_back(std::make_unique<usb::LibusbBackend>(usb::LibusbBackend::idsFromEnvironment(),
                                                                      [this] { noteContentChange(); }));
#endif
        for (auto& backend : m_backends)
            startBackend(*backend);
        m_initialised = true;
    }
    for (auto& backend : m_backends)
        backend->rescan(m_registry);
    m_lastSeen = m_registry.snapshot();
    return m_anyBackendStarted;
}

bool Library::onDeviceChange()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_initialised)
        return false;
    for (auto& backend : m_backends)
        backend->rescan(m_registry);
    auto now = m_registry.snapshot();
    const bool changed = m_contentChanged.exchange(false) || now != m_lastSeen;
    m_lastSeen = std::move(now);
    return changed;
}

}  // namespace kousb
