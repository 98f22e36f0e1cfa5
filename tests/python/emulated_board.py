# SPDX-License-Identifier: MIT
# The Python module on the real firmware image, on the emulated controller
# behind umockdev, through the real libusb: run by tst_fx2python, which puts
# one board in its boot state on the bus. In order: the controller loaded
# with our image, then the board's paths and the faults a simulated board
# cannot show.
import os
import pathlib

import pytest

import kousb

EXAMPLES = pathlib.Path(os.environ["UDM_EXAMPLES_DIR"])


@pytest.fixture(scope="module")
def board():
    (info,) = kousb.boards()
    board = info.open()
    board.load_controller()  # our image, found beside the module
    return board


def test_runs_our_firmware(board):
    assert "04b4:1004" in board.endpoint_info
    board.set_identity(id=4711, name="Python bench", board_class=3)
    (info,) = kousb.boards()
    assert (info.id, info.name, info.board_class) == (4711, "Python bench", 3)


def test_fpga_not_ready_until_configured(board):
    with pytest.raises(kousb.NotReadyError):
        board.read(kousb.Mode.FPGA, 0x10)
    board.load_fpga(EXAMPLES / "demo-fpga.bit")
    board.write("FPGA", 0x10, b"\x5a\xa5")
    assert board.read("fpga", 0x10, 2) == b"\x5a\xa5"


# (mode, address, bytes written, bytes read back there)
PATHS = [
    ("External", 0x0100, b"\x01\x02\x03\x04", b"\x01\x02\x03\x04"),
    # The LM75's pointer 3 (T_OS) and its two bytes; the pointer stays.
    ("I2C", 0x48, b"\x03\x46\x00", b"\x46\x00"),
    ("SPI", 0x10203, b"\xc3" * 8, b"\xc3" * 8),
]


@pytest.mark.parametrize("mode,address,data,back", PATHS)
def test_paths(board, mode, address, data, back):
    board.write(mode, address, data)
    assert board.read(mode, address, len(back)) == back


def test_blocks_in_place(board):
    data = memoryview(bytes(range(256)) * 16)
    room = bytearray(3 * 4096)
    board.write_block(data)
    board.read_block(memoryview(room)[4096:8192])
    assert room == bytes(4096) + data + bytes(4096)


# (a call, the class the board's firmware answers it with)
FAULTS = [
    (lambda b: b.read("UART", None, 1), kousb.NotSupportedError),  # no UART pins on the 56-pin package
    (lambda b: b.read("I2C", 0x10), kousb.NoAcknowledgeError),
    (lambda b: b.read("SPI", 0x7FFFFFF0, 16), kousb.OutOfRangeError),
]


@pytest.mark.parametrize("call,error", FAULTS)
def test_faults(board, call, error):
    with pytest.raises(error):
        call(board)
