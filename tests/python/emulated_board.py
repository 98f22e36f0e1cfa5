# SPDX-License-Identifier: MIT
# The Python module on the real firmware image, on the emulated controller
# behind umockdev, through the real libusb: run by tst_fx2python, which puts
# one board in its boot state on the bus. One pass: our image loaded, the
# identity written, and the refusals a simulated board cannot show. The
# firmware's paths themselves are tst_fx2emu's.
import os
import pathlib

import pytest

import kousb


def test_our_firmware_through_the_module():
    (info,) = kousb.boards()
    board = info.open()
    board.load_controller()  # our image, found beside the module
    assert "04b4:1004" in board.endpoint_info
    board.set_identity(id=4711, name="Python bench", board_class=3)
    (info,) = kousb.boards()
    assert (info.id, info.name, info.board_class) == (4711, "Python bench", 3)
    with pytest.raises(kousb.NotSupportedError):  # no UART pins on the 56-pin package
        board.read("UART", None, 1)
    with pytest.raises(kousb.NotReadyError):
        board.read("FPGA", 0x10)
    board.load_fpga(pathlib.Path(os.environ["UDM_EXAMPLES_DIR"], "demo-fpga.bit"))
    board.write("FPGA", 0x10, b"\x5a\xa5")
    assert board.read("fpga", 0x10, 2) == b"\x5a\xa5"
