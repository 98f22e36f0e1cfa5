// SPDX-License-Identifier: MIT
#include "dirwatch.h"

#ifdef __linux__
#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace kousb::sim {

#ifdef __linux__

DirWatch::~DirWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool DirWatch::open(const std::string& dir, std::string& error)
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        error = std::string("inotify: ") + std::strerror(errno);
        return false;
    }
    // Board files arrive by rename (atomic writes) and leave by unlink.
    const uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_CLOSE_WRITE;
    if (::inotify_add_watch(m_fd, dir.c_str(), mask) < 0) {
        error = "cannot watch " + dir + ": " + std::strerror(errno);
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

bool DirWatch::watchTouches(const std::string& dir)
{
    return m_fd >= 0 && ::inotify_add_watch(m_fd, dir.c_str(), IN_ATTRIB | IN_ONLYDIR) >= 0;
}

bool DirWatch::drain()
{
    if (m_fd < 0)
        return false;
    bool any = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            any = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return any;
    }
}

#else

DirWatch::~DirWatch() = default;
bool DirWatch::open(const std::string&, std::string&) { return true; }
bool DirWatch::watchTouches(const std::string&) { return false; }
bool DirWatch::drain() { return true; }

#endif

}  // namespace kousb::sim
