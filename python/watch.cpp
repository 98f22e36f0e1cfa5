// SPDX-License-Identifier: MIT
#include "watch.h"

#include "KoUSBLib.h"
#include "start.h"

#include <poll.h>
#include <pybind11/stl.h>

#include <cmath>

namespace py = pybind11;

namespace pykousb {

namespace {

using Clock = std::chrono::steady_clock;

// The longest wait before signals are looked at again.
constexpr std::chrono::milliseconds kSlice{100};

// Waits until the library's device-change descriptor is readable or `wait`
// has passed (all of it where there is no descriptor).
void waitForChange(std::chrono::milliseconds wait)
{
    pollfd watched{GetDeviceChangeDescriptor(), POLLIN, 0};
    ::poll(&watched, watched.fd >= 0 ? 1 : 0, static_cast<int>(wait.count()));
}

}  // namespace

Watch::Watch(std::optional<double> timeout)
{
    if (timeout) {
        if (!std::isfinite(*timeout) || *timeout < 0)
            throw py::value_error("timeout must be None or a number of seconds from 0");
        m_timeout = std::chrono::duration<double>(*timeout);
    }
    py::gil_scoped_release release;
    refreshLibrary();
    m_watch = std::make_unique<boards::Watch>();
}

boards::Change Watch::next()
{
    const Clock::time_point start = Clock::now();
    for (;;) {
        std::optional<boards::Change> change;
        bool timedOut = false;
        {
            py::gil_scoped_release release;
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_pending.empty()) {
                auto wait = kSlice;
                if (m_timeout) {
                    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        start + std::chrono::duration_cast<Clock::duration>(*m_timeout) - Clock::now());
                    wait = std::max(std::chrono::milliseconds(0), std::min(wait, left));
                    timedOut = left <= std::chrono::milliseconds(0);
                }
                waitForChange(wait);
                OnDeviceChange();
                for (boards::Change& c : m_watch->look())
                    m_pending.push_back(std::move(c));
            }
            if (!m_pending.empty()) {
                change = std::move(m_pending.front());
                m_pending.pop_front();
            }
        }
        if (change)
            return *change;
        if (PyErr_CheckSignals() != 0)
            throw py::error_already_set();
        if (timedOut)
            throw py::stop_iteration();
    }
}

}  // namespace pykousb
namespace pykousb {

void defineWatch(py::module_& module)
{
    py::class_<boards::Change>(module, "Change", "A board that arrived or was removed, as kousb.watch() yields it.")
        .def_property_readonly(
            "kind", [](const boards::Change& c) { return c.arrived ? "arrived" : "removed"; },
            "'arrived' or 'removed'.")
        .def_readonly("board", &boards::Change::board, "The board (BoardInfo); a removed one as it was last seen.")
        .def("__repr__", [](const boards::Change& c) {
            return std::string("<kousb.Change ") + (c.arrived ? "arrived" : "removed") + " in slot "
                   + std::to_string(c.board.slot) + ">";
        });

    py::class_<Watch>(module, "Watch",
                      "The iterator kousb.watch() gives: each next() waits, with the GIL released, for the next "
                      "arrival or removal.")
        .def("__iter__", [](Watch& w) -> Watch& { return w; })
        .def("__next__", &Watch::next);

    module.def(
        "watch", [](std::optional<double> timeout) { return std::make_unique<Watch>(timeout); },
        py::arg("timeout") = py::none(),
        "watch(timeout=None) -> Watch\n\n"
        "Yields a Change for each board that arrives or is removed from now on (the boards attached now are "
        "not reported). Each step waits at most `timeout` seconds for a change and ends the iteration when "
        "none came; None waits for ever. A board replugged between two looks shows as removed and arrived. "
        "Usable from any thread; Ctrl-C stops the wait.");
}

}  // namespace pykousb
