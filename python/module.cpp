// SPDX-License-Identifier: MIT
// The Python module kousb: the board library as Python objects. Everything
// it does is a call of KoUSBLib or of the core the window and kousb share;
// what is here converts arguments, results and errors, and releases the
// GIL while a board works.
#include "KoUSBLib.h"
#include "arguments.h"
#include "board.h"
#include "boardlist.h"
#include "errors.h"
#include "start.h"
#include "text.h"
#include "udmversion.h"
#include "watch.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <climits>
#include <memory>
#include <optional>
#include <vector>

namespace py = pybind11;
using namespace pykousb;

namespace {

std::vector<boards::Entry> attachedBoards()
{
    py::gil_scoped_release release;
    refreshLibrary();
    return boards::attached();
}

std::string describe(const boards::Entry& b)
{
    return "<kousb.BoardInfo slot " + std::to_string(b.slot) + ": ID " + std::to_string(b.id) + ", "
           + py::repr(latin1(b.name)).cast<std::string>() + ", class " + std::to_string(b.deviceClass) + ", FW "
           + std::to_string(b.firmwareVersion) + ">";
}

// The first board in slot order with ID `id`, or the first board at all.
std::unique_ptr<Board> openBoard(py::handle id)
{
    const std::optional<long long> wanted =
        id.is_none() ? std::nullopt : std::optional<long long>(intArgument(id, "id", INT32_MIN, INT32_MAX));
    for (const boards::Entry& b : attachedBoards())
        if (!wanted || b.id == *wanted)
            return std::make_unique<Board>(b.handle, b.slot);
    raiseError(KOUSB_ERROR_NO_BOARD, wanted ? "no board with ID " + std::to_string(*wanted) : "no board attached");
}

}  // namespace

PYBIND11_MODULE(_kousb, module)
{
    module.doc() =
        "The board library for Python: lab boards with a USB controller, an FPGA and an EEPROM, real or "
        "simulated, as the window and the kousb command line see them.\n\n"
        "kousb.boards() lists them, kousb.board(id) opens one, kousb.watch() follows arrivals and removals. "
        "Failures raise kousb.Error subclasses, one per library error code; bad arguments raise ValueError or "
        "TypeError. Board calls release the GIL.";
    module.attr("__version__") = UDM_VERSION;
    // Each docstring begins with the call as Python shows it, in place of
    // pybind11's own line of C++ argument types.
    py::options options;
    options.disable_function_signatures();

    defineErrors(module);
    defineModes(module);
    defineBoard(module);

    py::class_<boards::Entry>(module, "BoardInfo",
                              "An attached board as kousb.boards() found it: where it is and what it says it is.")
        .def_readonly("slot", &boards::Entry::slot, "The library's slot.")
        .def_readonly("id", &boards::Entry::id, "The board's ID.")
        .def_property_readonly(
            "name", [](const boards::Entry& b) { return latin1(b.name); }, "The board's name.")
        .def_readonly("board_class", &boards::Entry::deviceClass, "The board's class, 0 to 255.")
        .def_readonly("firmware_version", &boards::Entry::firmwareVersion, "The controller firmware's version.")
        .def(
            "open", [](const boards::Entry& b) { return std::make_unique<Board>(b.handle, b.slot); },
            "open() -> Board\n\nThis board, to work on; UnpluggedError on every call once it has gone.")
        .def("__repr__", &describe);

    defineWatch(module);

    module.def("boards", &attachedBoards, "boards() -> list[BoardInfo]\n\nThe boards attached now, in slot order.");
    module.def("board", &openBoard, py::arg("id") = py::none(),
               "board(id=None) -> Board\n\n"
               "The first board (in slot order) whose ID is `id`, or the first board at all for None; "
               "NoBoardError when there is none.");

    // help() and repr() name the package, not the extension inside it.
    for (const char* name : {"Board", "BoardInfo", "BenchPass", "Change", "Watch"})
        module.attr(name).attr("__module__") = "kousb";
}
