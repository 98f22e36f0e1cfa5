// SPDX-License-Identifier: MIT
#include "board.h"

#include "arguments.h"
#include "benchmarkrun.h"
#include "eeprombackups.h"
#include "eepromread.h"
#include "errors.h"
#include "firmwareimage.h"
#include "identityfields.h"
#include "iovalues.h"
#include "text.h"

#include <dlfcn.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <climits>
#include <optional>
#include <vector>

namespace py = pybind11;

namespace pykousb {

namespace {

// The boards whose call runs on this thread (see Board::run).
thread_local std::vector<void*> t_running;

// Passes a flash's progress to a Python callable, with the GIL. What the
// callable raises is held back until the flash is over (a flash stopped
// half-way would leave the board without a valid image), and it is not
// called again.
struct ProgressRelay {
    py::object callback;
    std::optional<py::error_already_set> raised;

    static void hook(void* context, long long done, long long total)
    {
        auto* relay = static_cast<ProgressRelay*>(context);
        py::gil_scoped_acquire gil;
        if (relay->raised)
            return;
        try {
            relay->callback(done, total);
        } catch (py::error_already_set& error) {
            relay->raised = std::move(error);
        } catch (const std::exception& error) {
            PyErr_SetString(PyExc_RuntimeError, error.what());
            relay->raised.emplace();
        }
    }
};

// The file this module was loaded from, for finding the firmware installed with it.
std::string modulePath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&modulePath), &info) != 0 && info.dli_fname != nullptr)
        return info.dli_fname;
    return {};
}

}  // namespace

Board::Board(void* handle, int slot) : m_device(handle), m_handle(handle), m_slot(slot) {}

template <typename Op>
void Board::run(Op&& op, const std::string* file)
{
    if (std::find(t_running.begin(), t_running.end(), m_handle) != t_running.end())
        throw std::runtime_error("a progress callback cannot call the board whose call it reports on");
    bool ok = false;
    int code = KOUSB_SUCCESS;
    std::string message;
    {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(m_mutex);
        t_running.push_back(m_handle);
        ok = op(m_device);
        t_running.pop_back();
        if (!ok) {
            code = m_device.GetLastErrorCode();
            message = m_device.GetLastError();
        }
    }
    if (!ok)
        raiseError(code, message, file);
}

namespace {

// A getter of the identity: the library answers 0 or empty text for a board
// that has gone, and says so in the last error.
template <typename T, typename Get>
T identity(Board& board, Get get)
{
    T value{};
    board.run([&](KoUSBDevice& d) {
        value = get(d);
        return d.GetLastErrorCode() == KOUSB_SUCCESS;
    });
    return value;
}

py::bytes read(Board& board, py::handle mode, py::handle address, py::handle size)
{
    const IoMode m = modeArgument(mode, true);
    const int at = addressArgument(address, m);
    const int count = static_cast<int>(intArgument(size, "size", 0, iovalues::kMaxBytes));
    std::array<unsigned char, iovalues::kMaxBytes> buffer{};
    board.run([&](KoUSBDevice& d) { return ioRead(d, m, at, buffer.data(), count).value_or(false); });
    return py::bytes(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(count));
}

void write(Board& board, py::handle mode, py::handle address, py::handle data)
{
    const IoMode m = modeArgument(mode, false);
    const int at = addressArgument(address, m);
    std::array<unsigned char, iovalues::kMaxBytes> buffer{};  // zeros beyond the data, as an interrupt report sends
    int count = 0;
    {
        const BufferView view(data, false, "data");
        if (view.size() < 1 || view.size() > static_cast<Py_ssize_t>(iovalues::kMaxBytes))
            throw py::value_error("data must hold 1 to " + std::to_string(iovalues::kMaxBytes) + " bytes, not "
                                  + std::to_string(view.size()));
        count = static_cast<int>(view.size());
        std::copy(view.data(), view.data() + count, buffer.begin());
    }
    board.run([&](KoUSBDevice& d) { return ioWrite(d, m, at, buffer.data(), count).value_or(false); });
}

int blockLength(Py_ssize_t size)
{
    if (size < 0 || size > INT_MAX)
        throw py::value_error("a block holds 0 to " + std::to_string(INT_MAX) + " bytes, not " + std::to_string(size));
    return static_cast<int>(size);
}

py::object readBlock(Board& board, py::handle target)
{
    if (PyLong_Check(target.ptr())) {
        const int length = blockLength(intArgument(target, "size", 0, INT_MAX));
        // The bytes object is made first and filled in place.
        py::bytes block = py::reinterpret_steal<py::bytes>(PyBytes_FromStringAndSize(nullptr, length));
        if (!block)
            throw py::error_already_set();
        auto* data = reinterpret_cast<unsigned char*>(PyBytes_AS_STRING(block.ptr()));
        board.run([&](KoUSBDevice& d) { return d.ReadBlock(data, length); });
        return std::move(block);
    }
    const BufferView view(target, true, "read_block's argument");
    const int length = blockLength(view.size());
    board.run([&](KoUSBDevice& d) { return d.ReadBlock(view.data(), length); });
    return py::none();
}

void writeBlock(Board& board, py::handle data)
{
    const BufferView view(data, false, "data");
    const int length = blockLength(view.size());
    board.run([&](KoUSBDevice& d) { return d.WriteBlock(view.data(), length); });
}

void loadController(Board& board, py::handle path, double wait)
{
    if (!(wait > 0) || wait > 3600)
        throw py::value_error("wait takes seconds above 0 and at most 3600");
    std::string file;
    if (path.is_none()) {
        const std::string module = modulePath();
        file = findFirmwareImage(module);
        if (file.empty())
            raiseError(KOUSB_ERROR_FILE_NOT_FOUND, std::string("no installed board firmware found (looked for PREFIX/")
                                                       + kInstalledFirmware + " above " + module + "); name a file");
    } else {
        file = pathArgument(path);
    }
    board.run([&](KoUSBDevice& d) { return d.LoadFirmwareFromFileAndWait(file.c_str(), int(wait * 1000)); }, &file);
}

std::vector<unsigned char> dumpImage(Board& board)
{
    std::vector<unsigned char> image;
    board.run([&](KoUSBDevice& d) { return readWholeEeprom(d, image, {}); });
    return image;
}

// Flashes as kousb flash-eeprom does: the boot check and a backup first
// (into the user's backup folder, to `backup` when named, none when it is
// False); `force` writes an image the check refuses and flashes when no
// backup can be made. Returns the backup's path, or None.
py::object flashEeprom(Board& board, py::handle path, py::handle progress, py::handle backup, bool force)
{
    const std::string image = pathArgument(path);
    if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
        throw py::type_error("progress must be callable or None");
    std::string saveTo;
    if (py::isinstance<py::bool_>(backup)) {
        if (backup.cast<bool>())
            throw py::value_error("backup must be a path, None (the backup folder) or False (no backup)");
    } else if (!backup.is_none()) {
        saveTo = pathArgument(backup);
        if (saveTo == image)
            throw py::value_error("the backup would overwrite the image to flash");
    } else if (std::string error; !backups::newBackupPath(backups::folder(), board.m_device.GetId(),
                                                          board.m_device.GetPlace(), saveTo, error)) {
        if (!force)
            raiseError(KOUSB_ERROR_FILE_UNWRITABLE,
                       error + "; nothing was flashed (force=True flashes without a backup)", nullptr);
        saveTo.clear();
    }
    ProgressRelay relay{py::reinterpret_borrow<py::object>(progress), std::nullopt};
    const bool reporting = !progress.is_none();
    try {
        board.run(
            [&](KoUSBDevice& d) {
                return d.LoadHexFileToEepromWithBackup(
                    image.c_str(), saveTo.empty() ? nullptr : saveTo.c_str(),
                    force ? KoUSBDevice::FlashUnchecked | KoUSBDevice::FlashWithoutBackup : 0,
                    reporting ? &ProgressRelay::hook : nullptr, &relay);
            },
            &image);
    } catch (py::error_already_set& failed) {
        // The flash failed as well: its error, with the callback's as context.
        if (relay.raised)
            PyException_SetContext(failed.value().ptr(), relay.raised->value().inc_ref().ptr());
        throw;
    }
    if (relay.raised) {
        relay.raised->restore();
        throw py::error_already_set();
    }
    const std::string made = board.m_device.GetLastBackup();
    return made.empty() ? py::object(py::none()) : py::object(py::str(made));
}

void setIdentity(Board& board, const std::optional<py::int_>& id, const std::optional<py::str>& name,
                 const std::optional<py::int_>& boardClass)
{
    if (!id && !name && !boardClass)
        throw py::value_error("set_identity needs id, name or board_class");
    // All three checked, as the window's page checks them, before the first is written.
    std::string reason;
    IdentityFields fields;
    if (id && !parseIdentityId(py::repr(*id).cast<std::string>(), fields.id, reason))
        throw py::value_error(reason);
    if (name && !encodeIdentityName(*name, fields.name, reason))
        throw py::value_error(reason);
    if (boardClass && !parseIdentityClass(py::repr(*boardClass).cast<std::string>(), fields.deviceClass, reason))
        throw py::value_error(reason);
    board.run([&](KoUSBDevice& d) {
        return (!id || d.WriteIDToEEPROM(fields.id)) && (!name || d.WriteNameToEEPROM(fields.name.c_str()))
               && (!boardClass || d.WriteDeviceClassToEEPROM(fields.deviceClass));
    });
}

std::vector<benchmark::PassResult> bench(Board& board)
{
    std::vector<benchmark::PassResult> passes;
    board.run([&](KoUSBDevice& d) {
        return benchmark::runPasses(d, [&](const benchmark::PassResult& pass) {
            passes.push_back(pass);
            return true;
        });
    });
    return passes;
}

std::string rate(const std::optional<double>& value)
{
    return value ? py::str("{:.2f}").format(*value).cast<std::string>() : "None";
}

}  // namespace

void defineBoard(py::module_& module)
{
    py::class_<benchmark::PassResult>(module, "BenchPass",
                                      "One pass of the transfer benchmark: `repetitions` block writes of `bytes` "
                                      "each, then as many block reads. The rates are in Mbyte/s as the window's "
                                      "plot counts them (kbyte per millisecond); None when a direction took no "
                                      "measurable time.")
        .def_property_readonly(
            "number", [](const benchmark::PassResult& r) { return r.pass.number; }, "The pass, 1 to 16.")
        .def_property_readonly(
            "bytes", [](const benchmark::PassResult& r) { return r.pass.bytes; }, "Bytes per block.")
        .def_property_readonly(
            "repetitions", [](const benchmark::PassResult& r) { return r.pass.repetitions; },
            "Blocks in each direction.")
        .def_readonly("write", &benchmark::PassResult::write, "The write rate, or None.")
        .def_readonly("read", &benchmark::PassResult::read, "The read rate, or None.")
        .def("__repr__", [](const benchmark::PassResult& r) {
            return "<kousb.BenchPass " + std::to_string(r.pass.bytes) + " bytes: write " + rate(r.write) + ", read "
                   + rate(r.read) + ">";
        });

    py::class_<Board>(module, "Board",
                      "One attached board, from kousb.board() or BoardInfo.open(). Every call blocks until the "
                      "board is done and releases the GIL meanwhile, so threads driving different boards run at "
                      "once; calls on one board run one at a time. A failure raises the kousb.Error subclass of "
                      "its code; a board that has gone raises UnpluggedError on every call.")
        .def_property_readonly("slot", &Board::slot, "The library's slot the board was in when it was opened.")
        .def_property_readonly(
            "id", [](Board& b) { return identity<int>(b, [](KoUSBDevice& d) { return d.GetId(); }); },
            "The board's ID, from its EEPROM.")
        .def_property_readonly(
            "name",
            [](Board& b) { return latin1(identity<std::string>(b, [](KoUSBDevice& d) { return d.GetName(); })); },
            "The board's name, from its EEPROM.")
        .def_property_readonly(
            "board_class", [](Board& b) { return identity<int>(b, [](KoUSBDevice& d) { return d.GetClass(); }); },
            "The board's class, 0 to 255, from its EEPROM.")
        .def_property_readonly(
            "firmware_version",
            [](Board& b) { return identity<int>(b, [](KoUSBDevice& d) { return d.GetFWVersion(); }); },
            "The version of the controller firmware, from its EEPROM.")
        .def_property_readonly(
            "endpoint_info",
            [](Board& b) {
                return latin1(identity<std::string>(b, [](KoUSBDevice& d) { return d.GetEndpointInfo(); }));
            },
            "The board's own description of its endpoints and state, several lines.")
        .def("read", &read, py::arg("mode"), py::arg("address") = py::none(), py::arg("size") = 1,
             "read(mode, address=None, size=1) -> bytes\n\n"
             "Reads `size` bytes (0 to 16) through an IO mode at `address`. Modes without an address (Block, "
             "UART, Interrupt) take None.")
        .def("write", &write, py::arg("mode"), py::arg("address"), py::arg("data"),
             "write(mode, address, data) -> None\n\n"
             "Writes 1 to 16 bytes (any bytes-like object) through an IO mode at `address`; None for the modes "
             "without an address. An Interrupt write sends a 16-byte report, zeros after the data.")
        .def("read_block", &readBlock, py::arg("size_or_buffer"),
             "read_block(size) -> bytes, or read_block(buffer) -> None\n\n"
             "Reads one block from the bulk endpoint: `size` bytes into a new bytes object, or as many as a "
             "writable contiguous buffer holds (bytearray, memoryview, numpy array) straight into its memory.")
        .def("write_block", &writeBlock, py::arg("data"),
             "write_block(data) -> None\n\n"
             "Writes one block to the bulk endpoint from any contiguous bytes-like object, read in place.")
        .def(
            "load_fpga",
            [](Board& b, py::handle path) {
                const std::string file = pathArgument(path);
                b.run([&](KoUSBDevice& d) { return d.DownloadXilinx(file.c_str()); }, &file);
            },
            py::arg("path"), "load_fpga(path) -> None\n\nConfigures the FPGA from a Xilinx .bit file.")
        .def("load_controller", &loadController, py::arg("path") = py::none(), py::arg("wait") = 10.0,
             "load_controller(path=None, wait=10.0) -> None\n\n"
             "Loads controller firmware from a .bix or Intel HEX file; None loads our board firmware as "
             "installed with this module (as `kousb load-controller` does). A USB board leaves the bus when "
             "the firmware starts; the call waits up to `wait` seconds for it to come back at its place "
             "(TimeoutError naming the place when it does not).")
        .def("flash_eeprom", &flashEeprom, py::arg("path"), py::arg("progress") = py::none(),
             py::arg("backup") = py::none(), py::arg("force") = false,
             "flash_eeprom(path, progress=None, backup=None, force=False) -> str | None\n\n"
             "Flashes an Intel HEX image into the EEPROM and reads it back; VerifyFailedError names the first "
             "byte that differs. An image the controller would boot from is checked first and refused "
             "(BadFileError) when it would not boot. The EEPROM is first saved as Intel HEX into the user's "
             "backup folder, as kousb flash-eeprom does, or to `backup` when it names a file (False: no "
             "backup); nothing is flashed if that fails. `force` writes an image the check refuses and flashes "
             "when no backup can be made. Returns the backup's path, or None. `progress(done, total)` is called "
             "as the flash goes on, on this thread; what it raises does not stop the flash (a board half-flashed "
             "would not start) and is raised when the flash is over.")
        .def(
            "dump_eeprom",
            [](Board& b) {
                const std::vector<unsigned char> image = dumpImage(b);
                return py::bytes(reinterpret_cast<const char*>(image.data()), image.size());
            },
            "dump_eeprom() -> bytes\n\nReads the whole EEPROM back.")
        .def("set_identity", &setIdentity, py::arg("id") = py::none(), py::arg("name") = py::none(),
             py::arg("board_class") = py::none(),
             "set_identity(id=None, name=None, board_class=None) -> None\n\n"
             "Writes the given fields of the board's identity into its EEPROM, in the order ID, name, class, "
             "after checking all of them as the window does: the ID a 32-bit signed int, the name Latin-1 "
             "characters other than NUL within the EEPROM's field, the class 0 to 255.")
        .def("bench", &bench,
             "bench() -> list[BenchPass]\n\n"
             "Runs the transfer benchmark of the window's Benchmark page (16 passes of block writes and reads, "
             "4 to 64 kbyte) and returns its passes.")
        .def("__repr__", [](const Board& b) { return "<kousb.Board in slot " + std::to_string(b.slot()) + ">"; });
}

}  // namespace pykousb
