// SPDX-License-Identifier: MIT
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
    // Also watches `dir` for files whose attributes change: a state file
    // touched after a write into its mapping, which raises no event of its
    // own. Watching a folder again changes nothing, so a caller may repeat
    // this after the folder was made anew. False when it cannot be watched.
    bool watchTouches(const std::string& dir);
    int descriptor() const { return m_fd; }
    // Returns true if any event was pending.
    bool drain();

private:
    int m_fd = -1;
};

}  // namespace kousb::sim
