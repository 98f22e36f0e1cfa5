// SPDX-License-Identifier: MIT
#pragma once
// Python arguments as the library takes them, checked the way kousb checks
// its own: a bad value raises ValueError, a wrong type TypeError, before a
// board is touched. Call with the GIL held.
#include "iomode.h"

#include <pybind11/pybind11.h>

#include <string>

namespace pykousb {

// Adds the enumeration kousb.Mode: one member per IO mode of the core's
// table that moves data, named by its name in capitals (Mode.I2C) with the
// name as its value ("I2C").
void defineModes(pybind11::module_& module);

// The IO mode `mode` names: a kousb.Mode, or a mode's name in any case.
// `reading`: it must be able to read (else write).
IoMode modeArgument(pybind11::handle mode, bool reading);

// The address for `mode`: none (0) or an int within the addresses the mode
// takes; the modes that take none refuse one.
int addressArgument(pybind11::handle address, IoMode mode);

// An int within [min, max]; `what` names it in the message.
long long intArgument(pybind11::handle value, const char* what, long long min, long long max);

// A file name (str, bytes or os.PathLike) in the file system's encoding.
std::string pathArgument(pybind11::handle path);

// A contiguous buffer of another object, held while this lives (so the
// object's memory is used in place, never copied). `writable`: to be
// filled. Release it with the GIL held, as the destructor does.
class BufferView {
public:
    BufferView(pybind11::handle object, bool writable, const char* what);
    ~BufferView() { PyBuffer_Release(&m_view); }
    BufferView(const BufferView&) = delete;
    BufferView& operator=(const BufferView&) = delete;

    unsigned char* data() const { return static_cast<unsigned char*>(m_view.buf); }
    Py_ssize_t size() const { return m_view.len; }

private:
    Py_buffer m_view{};
};

}  // namespace pykousb
