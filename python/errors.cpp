// SPDX-License-Identifier: MIT
#include "errors.h"

#include "KoUSBLib.h"
#include "text.h"

#include <cctype>
#include <map>

namespace py = pybind11;

namespace pykousb {

namespace {

// Codes are negative; this reaches far beyond the last one, so a code added
// to the library's table gets its class without a change here.
constexpr int kLowestCode = -256;
constexpr const char* kPrefix = "KOUSB_ERROR_";

// The classes by code, and the base; held for the life of the process (a
// reference that is never given back, so no destructor runs after Python
// has finalised).
std::map<int, PyObject*>& classes()
{
    static auto* byCode = new std::map<int, PyObject*>;
    return *byCode;
}
PyObject* g_base = nullptr;

// "KOUSB_ERROR_NO_BOARD" -> "NoBoardError".
std::string className(const std::string& codeName)
{
    std::string name;
    bool startOfWord = true;
    for (const char c : codeName.substr(std::char_traits<char>::length(kPrefix))) {
        if (c == '_') {
            startOfWord = true;
            continue;
        }
        name += startOfWord ? c : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        startOfWord = false;
    }
    return name + "Error";
}

// The built-in exception that a Python program would catch for the same
// fault, or null.
PyObject* builtinBase(int code)
{
    switch (code) {
    case KOUSB_ERROR_ACCESS_DENIED: return PyExc_PermissionError;
    case KOUSB_ERROR_BAD_ARGUMENT: return PyExc_ValueError;
    case KOUSB_ERROR_TIMEOUT: return PyExc_TimeoutError;
    case KOUSB_ERROR_FILE_NOT_FOUND: return PyExc_FileNotFoundError;
    default: return nullptr;
    }
}

bool aboutTheFile(int code)
{
    return code == KOUSB_ERROR_FILE_NOT_FOUND || code == KOUSB_ERROR_FILE_UNREADABLE
           || code == KOUSB_ERROR_FILE_UNWRITABLE || code == KOUSB_ERROR_BAD_FILE;
}

py::object newClass(const std::string& qualifiedName, const char* doc, py::tuple bases, py::dict attributes)
{
    PyObject* type = PyErr_NewExceptionWithDoc(qualifiedName.c_str(), doc, bases.ptr(), attributes.ptr());
    if (type == nullptr)
        throw py::error_already_set();
    return py::reinterpret_steal<py::object>(type);
}

}  // namespace

void defineErrors(py::module_& module)
{
    py::object base = newClass("kousb.Error",
                               "A board operation failed. The subclass says why; `code` is the library's error code "
                               "(a negative number), `name` its name, `message` the library's reason.",
                               py::make_tuple(py::handle(PyExc_Exception)), py::dict());
    module.attr("Error") = base;
    g_base = base.inc_ref().ptr();
    const std::string unknown = KoUSBErrorName(1);
    for (int code = -1; code >= kLowestCode; --code) {
        const std::string codeName = KoUSBErrorName(code);
        if (codeName == unknown)
            continue;
        const std::string name = className(codeName);
        py::tuple bases =
            builtinBase(code) ? py::make_tuple(base, py::handle(builtinBase(code))) : py::make_tuple(base);
        py::dict attributes;
        attributes["code"] = code;
        attributes["name"] = codeName;
        const std::string doc = codeName + ": " + KoUSBErrorText(code) + ".";
        py::object type = newClass("kousb." + name, doc.c_str(), bases, attributes);
        module.attr(name.c_str()) = type;
        classes()[code] = type.inc_ref().ptr();
    }
}

void raiseError(int code, const std::string& message, const std::string* file)
{
    const auto found = classes().find(code);
    py::handle type = found != classes().end() ? found->second : g_base;
    py::str text = latin1(message);
    if (file != nullptr && aboutTheFile(code) && message.find(*file) == std::string::npos) {
        // The name in the file system's encoding, the library's text in Latin-1.
        text = py::str("{}: {}").format(py::module_::import("os").attr("fsdecode")(py::bytes(*file)), text);
    }
    py::object error = type(text);
    error.attr("code") = code;
    error.attr("message") = text;
    PyErr_SetObject(type.ptr(), error.ptr());
    throw py::error_already_set();
}

}  // namespace pykousb
