#pragma once
#include <string>

namespace kousb::sim {

// Watches one folder for files appearing, disappearing or being replaced
// (inotify on Linux). The descriptor is readable while events are pending;
// drain() consumes them. Elsewhere there is no descriptor and drain() is a no-op.
class DirWatch {
public:
    DirWatch() = default;
    ~DirWatch();
    DirWatch(const DirWatch&) = delete;
    DirWatch& operator=(const DirWatch&) = delete;

    bool open(const std::string& dir, std::string& error);
    int descriptor() const { return m_fd; }
    // Returns true if any event was pending.
    bool drain();

private:
    int m_fd = -1;
};

} // namespace kousb::sim
