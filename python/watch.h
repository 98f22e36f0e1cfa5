// SPDX-License-Identifier: MIT
#pragma once
// kousb.watch(): the arrivals and removals of boards as an iterator.
#include "boardlist.h"

#include <pybind11/pybind11.h>

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace pykousb {

class Watch {
public:
    // Takes the first look (the boards there now are not reported).
    // `timeout`: seconds to wait for each change, none for ever.
    explicit Watch(std::optional<double> timeout);

    // The next change; StopIteration when none came within the timeout.
    // Waits with the GIL released, in slices short enough that Ctrl-C (and
    // any other signal handler) is seen.
    boards::Change next();

private:
    std::optional<std::chrono::duration<double>> m_timeout;
    std::mutex m_mutex;  // taken with the GIL released
    std::unique_ptr<boards::Watch> m_watch;
    std::deque<boards::Change> m_pending;
};

// Adds kousb.Watch and kousb.Change.
void defineWatch(pybind11::module_& module);

}  // namespace pykousb
