// SPDX-License-Identifier: MIT
#pragma once
// kousb.Board: one attached board, every call a call of KoUSBLib with the
// GIL released, every failure raised as the kousb.Error subclass of its code.
#include "KoUSBLib.h"

#include <pybind11/pybind11.h>

#include <mutex>
#include <string>

namespace pykousb {

class Board {
public:
    Board(void* handle, int slot);

    int slot() const { return m_slot; }

    // Runs `op` (bool(KoUSBDevice&)) on this board with the GIL released and
    // raises the library's error when it returns false. Calls through one
    // object run one at a time, so the error read is the one the call left.
    // A call on a board whose own call is running on this thread (from a
    // progress callback) raises RuntimeError rather than wait for itself.
    // `file`: the file the call reads or writes, named at the front of an
    // error about that file.
    template <typename Op>
    void run(Op&& op, const std::string* file = nullptr);

    KoUSBDevice m_device;
    void* m_handle;
    int m_slot;
    std::mutex m_mutex;  // taken with the GIL released, never the other way round
};

// Adds kousb.Board and kousb.BenchPass.
void defineBoard(pybind11::module_& module);

}  // namespace pykousb
