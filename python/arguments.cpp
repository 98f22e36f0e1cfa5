// SPDX-License-Identifier: MIT
#include "arguments.h"

#include <vector>

namespace py = pybind11;

namespace pykousb {

namespace {

// kousb.Mode's members (held for the life of the process) and their modes:
// a member is found by identity, cheaper than reading its value.
std::vector<std::pair<PyObject*, IoMode>>& members()
{
    static auto* byMember = new std::vector<std::pair<PyObject*, IoMode>>;
    return *byMember;
}

bool movesData(IoMode mode) { return ioModeCanRead(mode) || ioModeCanWrite(mode); }

std::string modeNames()
{
    std::string names;
    for (IoMode mode : kIoModes)
        if (movesData(mode))
            names += std::string(names.empty() ? "" : ", ") + ioModeName(mode);
    return names;
}

std::string typeName(py::handle object) { return Py_TYPE(object.ptr())->tp_name; }

}  // namespace

void defineModes(py::module_& module)
{
    py::list names;
    std::vector<IoMode> order;
    for (IoMode mode : kIoModes) {
        if (!movesData(mode))
            continue;
        std::string name = ioModeName(mode);
        for (char& c : name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        names.append(py::make_tuple(name, ioModeName(mode)));
        order.push_back(mode);
    }
    py::object modes = py::module_::import("enum").attr("Enum")("Mode", names, py::arg("module") = "kousb");
    modes.attr("__doc__") =
        "The IO modes, in the order the window lists them; each member's value is its name. "
        "Wherever a mode is taken, its name in any case will do as well.";
    module.attr("Mode") = modes;
    std::size_t i = 0;
    for (py::handle member : modes)
        members().emplace_back(member.inc_ref().ptr(), order[i++]);
}

IoMode modeArgument(py::handle mode, bool reading)
{
    std::optional<IoMode> found;
    for (const auto& [member, m] : members())
        if (mode.ptr() == member)
            found = m;
    if (!found && !py::isinstance<py::str>(mode))
        throw py::type_error("mode must be a kousb.Mode or a mode's name, not " + typeName(mode));
    if (!found)
        found = ioModeFromAnyCase(mode.cast<std::string>());
    if (!found || !movesData(*found))
        throw py::value_error("unknown mode '" + py::str(mode).cast<std::string>() + "'; the modes are " + modeNames());
    if (reading ? !ioModeCanRead(*found) : !ioModeCanWrite(*found))
        throw py::value_error(std::string("the ") + ioModeName(*found) + " mode cannot "
                              + (reading ? "read" : "write"));
    return *found;
}

int addressArgument(py::handle address, IoMode mode)
{
    const std::optional<AddressRange> range = ioModeAddressRange(mode);
    if (address.is_none())
        return 0;
    if (!range)
        throw py::value_error(std::string("the ") + ioModeName(mode) + " mode takes no address");
    return static_cast<int>(intArgument(address, "address", range->min, range->max));
}

long long intArgument(py::handle value, const char* what, long long min, long long max)
{
    if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr()))
        throw py::type_error(std::string(what) + " must be an int, not " + typeName(value));
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0 || number < min || number > max)
        throw py::value_error(std::string(what) + " must be from " + std::to_string(min) + " to " + std::to_string(max)
                              + ", not " + py::str(value).cast<std::string>());
    return number;
}

std::string pathArgument(py::handle path)
{
    PyObject* encoded = nullptr;
    if (!PyUnicode_FSConverter(path.ptr(), &encoded))
        throw py::error_already_set();
    const py::bytes bytes = py::reinterpret_steal<py::bytes>(encoded);
    return bytes;
}

BufferView::BufferView(py::handle object, bool writable, const char* what)
{
    if (PyObject_GetBuffer(object.ptr(), &m_view, writable ? PyBUF_WRITABLE : PyBUF_SIMPLE) != 0) {
        // The exporter says why (not writable, not contiguous); the caller
        // passed the wrong kind of object.
        const py::error_already_set why;
        throw py::type_error(std::string(what) + " must be a contiguous" + (writable ? ", writable" : "")
                             + " buffer (bytes-like object), not " + typeName(object) + ": "
                             + py::str(why.value()).cast<std::string>());
    }
}

}  // namespace pykousb
