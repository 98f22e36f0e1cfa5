# SPDX-License-Identifier: MIT
# Simulated boards for the tests of the Python module, plugged and unplugged
# with kousb-sim (KOUSB_SIM_TOOL) in a folder of this session's own, which
# the library is told of before its first look.
import os
import subprocess
import tempfile

import pytest

_folder = tempfile.TemporaryDirectory(prefix="kousb-pytest-")
os.environ["KOUSB_SIM_DIR"] = _folder.name
os.environ["XDG_DATA_HOME"] = _folder.name + "/data"  # the flashes' backups
os.environ.setdefault("KOUSB_USB_BACKEND", "off")

import kousb  # noqa: E402  (after the folder is set)


def sim(*args):
    """Runs kousb-sim and returns what it printed."""
    return subprocess.run([os.environ["KOUSB_SIM_TOOL"], *map(str, args)], check=True, capture_output=True,
                          text=True).stdout


def last_writes(slot):
    """What kousb-sim shows as the last write of each mode: {mode: 'n bytes: hex'}."""
    shown = sim("show", slot).split("last writes:")[1].split("eeprom")[0]
    return dict(line.strip().split(": ", 1) for line in shown.splitlines() if ": " in line)


@pytest.fixture
def plug():
    """plug(id, name=..., rate=...) -> slot: a board plugged for this test only."""
    slots = []

    def plug_board(board_id, name="Test board", rate=1000):
        slots.append(int(sim("plug", "--id", board_id, "--name", name, "--rate", rate)))
        return slots[-1]

    yield plug_board
    for slot in slots:
        subprocess.run([os.environ["KOUSB_SIM_TOOL"], "unplug", str(slot)], capture_output=True)


@pytest.fixture
def board(plug):
    """A fresh board of ID 1 and its slot."""
    slot = plug(1, "Python board")
    return kousb.board(1), slot
