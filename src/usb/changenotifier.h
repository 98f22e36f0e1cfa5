// SPDX-License-Identifier: MIT
#pragma once
#include <vector>

namespace kousb {

// One descriptor that is readable while any of the backends' descriptors is:
// an epoll set on Linux. Elsewhere there is none (descriptor() is -1) and the
// caller relies on the platform's own device-change messages.
class ChangeNotifier {
public:
    ChangeNotifier();
    ~ChangeNotifier();
    ChangeNotifier(const ChangeNotifier&) = delete;
    ChangeNotifier& operator=(const ChangeNotifier&) = delete;

    void add(int fd);
    int descriptor() const { return m_fd; }

private:
    int m_fd = -1;
};

}  // namespace kousb
