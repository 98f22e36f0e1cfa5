// SPDX-License-Identifier: MIT
#pragma once
// kousb.Error and its subclasses, one per code of the library's table, and
// the raising of them. Call everything here with the GIL held.
#include <pybind11/pybind11.h>

#include <string>

namespace pykousb {

// Adds Error and, for each library code, a subclass named after the code
// ("KOUSB_ERROR_NO_BOARD": NoBoardError) with class attributes `code` and
// `name`. A few also derive from the built-in exception a Python program
// would catch for the same fault (FileNotFoundError, PermissionError,
// TimeoutError, ValueError).
void defineErrors(pybind11::module_& module);

// Raises the class of `code` with `message` (the library's Latin-1 text) as
// its text and `message` attribute. `file`: the file the failed call read or
// wrote; an error about the file (not found, unreadable, unwritable, refused)
// that does not name it then begins with its name, as a Unix tool's message
// does.
[[noreturn]] void raiseError(int code, const std::string& message, const std::string* file = nullptr);

}  // namespace pykousb
