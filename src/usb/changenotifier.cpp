// SPDX-License-Identifier: MIT
#include "changenotifier.h"

#ifdef __linux__
#include <sys/epoll.h>
#include <unistd.h>
#endif

namespace kousb {

#ifdef __linux__

ChangeNotifier::ChangeNotifier() : m_fd(epoll_create1(EPOLL_CLOEXEC)) {}

ChangeNotifier::~ChangeNotifier()
{
    if (m_fd >= 0)
        close(m_fd);
}

void ChangeNotifier::add(int fd)
{
    if (m_fd < 0 || fd < 0)
        return;
    epoll_event ev{};
    ev.events = EPOLLIN;  // level-triggered: stays readable until the backend drains fd
    ev.data.fd = fd;
    epoll_ctl(m_fd, EPOLL_CTL_ADD, fd, &ev);
}

#else

ChangeNotifier::ChangeNotifier() = default;
ChangeNotifier::~ChangeNotifier() = default;
void ChangeNotifier::add(int) {}

#endif

}  // namespace kousb
