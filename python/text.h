// SPDX-License-Identifier: MIT
#pragma once
// Text between the library (zero-terminated 8-bit Latin-1) and Python.
#include <pybind11/pybind11.h>

#include <string>

namespace pykousb {

// The library's Latin-1 text as a Python str.
inline pybind11::str latin1(const std::string& text)
{
    return pybind11::reinterpret_steal<pybind11::str>(
        PyUnicode_DecodeLatin1(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr));
}

}  // namespace pykousb
