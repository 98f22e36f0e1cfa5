// SPDX-License-Identifier: MIT
// The Python module kousb: the board library as Python objects. Everything
// it does is a call of KoUSBLib or of the core the window and kousb share;
// what is here converts arguments, results and errors, and releases the
// GIL while a board works.
#include "KoUSBLib.h"
#include "arguments.h"
#include "board.h"
#include "boardlist.h"
#include "boardselector.h"
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

// The board `which` names: an int ID (the first board in slot order with
// it), a selector string as kousb --board takes it (one board only), or
// None for the first board at all.
std::unique_ptr<Board> openBoard(py::handle which)
{
    if (which.is_none() || py::isinstance<py::int_>(which)) {
        const std::optional<long long> wanted =
            which.is_none() ? std::nullopt : std::optional<long long>(intArgument(which, "id", INT32_MIN, INT32_MAX));
        for (const boards::Entry& b : attachedBoards())
            if (!wanted || b.id == *wanted)
                return std::make_unique<Board>(b.handle, b.slot);
        raiseError(KOUSB_ERROR_NO_BOARD, wanted ? "no board with ID " + std::to_string(*wanted) : "no board attached");
    }
    if (!py::isinstance<py::str>(which))
        throw py::type_error("board() takes an int ID or a selector string, not "
                             + std::string(py::str(which.get_type().attr("__name__"))));
    const std::string text = which.cast<std::string>();
    boards::Selector selector;
    std::string error;
    if (!boards::parseSelector(text, selector, error))
        throw py::value_error(error);
    const std::vector<boards::Entry> attached = attachedBoards();
    std::vector<boards::Entry> matching;
    for (const boards::Entry& b : attached)
        if (boards::matches(selector, b))
            matching.push_back(b);
    if (matching.size() == 1)
        return std::make_unique<Board>(matching.front().handle, matching.front().slot);
    std::string listing;
    for (const boards::Entry& b : attached)
        listing += "\n  " + describe(b) + " at " + b.place + ": " + boards::selectorFor(b, attached);
    if (matching.empty())
        raiseError(KOUSB_ERROR_NO_BOARD, "no board is " + text + "; attached:" + listing);
    throw py::value_error("several boards are " + text + "; pick one:" + listing);
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
        .def_readonly("place", &boards::Entry::place,
                      "Where the board is plugged in: '1-2.3' (bus and port path) or 'sim-2' (simulated slot).")
        .def_readonly("serial", &boards::Entry::serial, "The board's serial number, e.g. 'KO0000002A'.")
        .def(
            "open", [](const boards::Entry& b) { return std::make_unique<Board>(b.handle, b.slot); },
            "open() -> Board\n\nThis board, to work on; UnpluggedError on every call once it has gone.")
        .def("__repr__", &describe);

    defineWatch(module);

    module.def("boards", &attachedBoards, "boards() -> list[BoardInfo]\n\nThe boards attached now, in slot order.");
    module.def("board", &openBoard, py::arg("which") = py::none(),
               "board(which=None) -> Board\n\n"
               "For an int, the first board (in slot order) with that ID; for a str, the one board that "
               "selector names, as kousb --board takes it: '42', '@1-2.3' (a place), '@sim-2' (a simulated "
               "slot) or 'serial:KO0000002A'; for None, the first board at all. NoBoardError when there is none, "
               "ValueError for a selector that is none or names several boards.");

    // help() and repr() name the package, not the extension inside it.
    for (const char* name : {"Board", "BoardInfo", "BenchPass", "Change", "Watch"})
        module.attr(name).attr("__module__") = "kousb";
}
