# SPDX-License-Identifier: MIT
# The Python module on simulated boards: every method once, the errors as
# their classes, bad arguments, the buffer protocol in place, the stubs, the
# example scripts.
# What a board holds is checked through kousb-sim, a program of its own.
import ast
import os
import pathlib
import subprocess
import sys

import pytest

import kousb
from conftest import last_writes, sim

EXAMPLES = pathlib.Path(os.environ["UDM_EXAMPLES_DIR"])


def test_lists_opens_and_identifies(plug):
    plug(5, "Left")
    slot = plug(6, "Right")
    listed = {b.id: b for b in kousb.boards()}
    assert (listed[6].slot, listed[6].name, listed[6].board_class, listed[6].firmware_version) == (slot, "Right", 0, 1)
    assert kousb.board(6).slot == slot and kousb.board().id in listed
    # By place, and the serial as the firmware makes it: "KO" and the ID in eight hex digits.
    assert (listed[6].place, listed[6].serial) == (f"sim-{slot}", "KO00000006")
    assert kousb.board(f"@sim-{slot}").slot == kousb.board("serial:ko00000006").slot == slot
    board = listed[5].open()
    board.set_identity(id=-7, name="Größe", board_class=200)
    assert (board.id, board.name, board.board_class) == (-7, "Größe", 200)
    assert "-7\tGröße\t200" in sim("list")
    assert "Endpoints" in board.endpoint_info


# (mode as given, address, bytes written, bytes read back there, or None: write only)
IO = [
    ("External", 0x0010, b"\x01\x02\x03", b"\x01\x02\x03"),
    (kousb.Mode.FPGA, 0x0020, b"\xaa\x55", b"\xaa\x55"),
    # LM75 at 0x48: pointer 3 (T_OS) and its two bytes; the pointer stays.
    ("i2c", 0x48, b"\x03\x46\x00", b"\x46\x00"),
    (kousb.Mode.UART, None, b"hi", b"hi"),
    ("Command", None, b"\x05\x06", None),
]


@pytest.mark.parametrize("mode,address,data,back", IO)
def test_io_modes(board, mode, address, data, back):
    device, slot = board
    device.write(mode, address, data)
    name = mode.value if isinstance(mode, kousb.Mode) else mode
    shown = {m.lower(): w for m, w in last_writes(slot).items()}[name.lower()]
    assert shown == f"{len(data)} bytes: {data.hex(' ')}"
    if back is not None:
        assert device.read(mode, address, len(back)) == back


def test_blocks_in_place(board):
    device, _ = board
    data = memoryview(bytes(range(256)) * 32).cast("H")  # 8 KiB of 16-bit items, not bytes
    room = bytearray(3 * data.nbytes)
    device.write_block(data)
    assert device.read_block(memoryview(room)[data.nbytes:2 * data.nbytes]) is None
    # The bytes went into the caller's own memory, there and nowhere else. A
    # write this long is taken and dropped; a read gets the firmware's
    # counter, byte i of each 512-byte packet being i.
    pattern = bytes(range(256)) * (data.nbytes // 256)
    assert bytes(room) == bytes(data.nbytes) + pattern + bytes(data.nbytes)
    device.write_block(b"xyz")
    assert device.read_block(3) == b"xyz"
    for refused in (memoryview(room)[::2], b"read-only"):
        with pytest.raises(TypeError):
            device.read_block(refused)


def test_firmware_and_bench(board):
    device, slot = board
    device.load_fpga(EXAMPLES / "demo-fpga.bit")
    device.load_controller(str(EXAMPLES / "example-controller.bix"))
    assert "configured with" in sim("show", slot)
    passes = device.bench()
    assert [p.bytes for p in passes] == [4096 * n for n in range(1, 17)]
    assert all(p.write > 0 and p.read > 0 for p in passes)


def test_flash_backup_and_progress(board, tmp_path):
    device, _ = board
    before = device.dump_eeprom()
    backup = tmp_path / "backup.hex"
    assert device.flash_eeprom(EXAMPLES / "example-identity.hex", backup=backup) == str(backup)
    assert "Example board" in sim("list") and device.dump_eeprom() != before
    # Without a name the backup goes to the user's backup folder, as kousb's does.
    kept = pathlib.Path(device.flash_eeprom(backup, backup=None))
    assert kept.parent == pathlib.Path(os.environ["XDG_DATA_HOME"], "usb-device-manager", "backups")
    assert kept.read_text() != backup.read_text() and device.flash_eeprom(backup, backup=False) is None

    # What the callback raises (here what Ctrl-C raises in it) comes after
    # the flash, which ran to its end: the backup is back in place.
    def interrupted(done, total):
        raise KeyboardInterrupt
    with pytest.raises(KeyboardInterrupt):
        device.flash_eeprom(backup, progress=interrupted)
    assert device.dump_eeprom() == before

    seen = []
    device.flash_eeprom(str(backup), progress=lambda done, total: seen.append((done, total)))
    assert seen == sorted(seen) and seen[-1][0] == seen[-1][1] > 0
    # A callback that calls its own board is refused, not left waiting for itself.
    with pytest.raises(RuntimeError):
        device.flash_eeprom(backup, progress=lambda done, total: device.read("FPGA", 0))


# (what to do with a board, the class it raises): each code a simulated board can show.
FAULTS = [
    (lambda b: kousb.board(424242), kousb.NoBoardError),
    (lambda b: b.read("I2C", 0x10), kousb.NoAcknowledgeError),
    (lambda b: b.read("SPI", 0x7FFFFFF0, 16), kousb.OutOfRangeError),
    (lambda b: b.load_fpga(""), kousb.BadArgumentError),
    (lambda b: b.load_fpga("/nonexistent/design.bit"), kousb.FileNotFoundError),
    (lambda b: b.load_fpga(EXAMPLES), kousb.FileUnreadableError),
    (lambda b: b.load_fpga(EXAMPLES / "example-identity.hex"), kousb.BadFileError),
    (lambda b: b.flash_eeprom(EXAMPLES / "example-identity.hex", backup="/nonexistent/b.hex"),
     kousb.FileUnwritableError),
]


@pytest.mark.parametrize("fault,error", FAULTS)
def test_errors_raised_as_their_class(board, fault, error):
    with pytest.raises(error) as raised:
        fault(board[0])
    assert raised.value.code == error.code and str(raised.value) == raised.value.message != ""


def test_error_classes():
    # One class per code of the library's list, named after the code.
    classes = [c for c in vars(kousb).values() if isinstance(c, type) and issubclass(c, kousb.Error)]
    classes.remove(kousb.Error)
    assert len(classes) == 15 and len({c.code for c in classes}) == 15
    for c in classes:
        assert c.code < 0 and c.name == "KOUSB_ERROR_" + "".join(
            "_" + ch if ch.isupper() and i else ch for i, ch in enumerate(c.__name__[:-5])).upper()
    # Where Python has an exception of its own for the fault, it catches ours too.
    assert issubclass(kousb.FileNotFoundError, FileNotFoundError)
    assert issubclass(kousb.AccessDeniedError, PermissionError)
    assert issubclass(kousb.TimeoutError, TimeoutError)
    assert issubclass(kousb.BadArgumentError, ValueError)


# (a call with a bad argument, what it raises before the board is asked)
BAD = [
    (lambda b: b.read("Flash", 0), ValueError),
    (lambda b: b.read(3, 0), TypeError),
    (lambda b: b.read("Command"), ValueError),
    (lambda b: b.read("UART", 0), ValueError),
    (lambda b: b.read("I2C", 0x80), ValueError),
    (lambda b: b.read("External", 0, 17), ValueError),
    (lambda b: b.read("External", "0"), TypeError),
    (lambda b: b.write("External", 0, b""), ValueError),
    (lambda b: b.write("External", 0, [1, 2]), TypeError),
    (lambda b: b.read_block(-1), ValueError),
    (lambda b: b.write_block("text"), TypeError),
    (lambda b: b.load_fpga(None), TypeError),
    (lambda b: b.flash_eeprom("a.hex", progress=5), TypeError),
    (lambda b: b.flash_eeprom("a.hex", backup="a.hex"), ValueError),
    (lambda b: b.set_identity(), ValueError),
    (lambda b: b.set_identity(id=2 ** 31), ValueError),
    (lambda b: b.set_identity(name="€"), ValueError),
    (lambda b: b.set_identity(board_class="1"), TypeError),
    (lambda b: kousb.board(1.0), TypeError),
    (lambda b: kousb.board("@"), ValueError),
    (lambda b: kousb.watch(timeout=-1), ValueError),
]


@pytest.mark.parametrize("call,error", BAD)
def test_bad_arguments(board, call, error):
    with pytest.raises(error) as raised:
        call(board[0])
    assert not isinstance(raised.value, kousb.Error)  # refused here, not by the board


def test_stubs_match_the_module():
    stub = ast.parse((pathlib.Path(kousb.__file__).parent / "__init__.pyi").read_text())
    stubbed = {n.name for n in stub.body if isinstance(n, (ast.ClassDef, ast.FunctionDef))}
    public = {n for n in dir(kousb) if not n.startswith("_")}
    assert stubbed == public
    modes = next(n for n in stub.body if isinstance(n, ast.ClassDef) and n.name == "Mode")
    assert [t.targets[0].id for t in modes.body] == [m.name for m in kousb.Mode]
    assert (pathlib.Path(kousb.__file__).parent / "py.typed").exists()


SCRIPTS = pathlib.Path(__file__).resolve().parents[2] / "examples" / "python"


@pytest.mark.parametrize("script,args,printed", [
    ("list_boards.py", ["--board", "1", "--name", "Renamed"], "ID 1, 'Renamed', class 0"),
    # The simulated LM75 reads a steady 25.5 degrees.
    ("log_temperature.py", ["--board", "2", "--count", "2", "--every", "0"], "\t25.5 °C\n"),
    ("flash_tray.py", [EXAMPLES / "example-identity.hex"], "ID 2 'Second': ok (backup in"),
])
def test_examples(board, plug, script, args, printed):
    plug(2, "Second")
    run = subprocess.run([sys.executable, SCRIPTS / script, *map(str, args)],
                         capture_output=True, text=True, timeout=120)
    assert run.returncode == 0 and printed in run.stdout, run.stdout + run.stderr
