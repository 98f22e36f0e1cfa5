#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Flashes one EEPROM image into every attached board at once, one thread per
board, each board's EEPROM saved first into the backup folder; prints a result per board and exits
non-zero if any failed.

    flash_tray.py IMAGE.hex
"""
import argparse
import pathlib
import sys
from concurrent.futures import ThreadPoolExecutor

import kousb

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("image", type=pathlib.Path)
args = parser.parse_args()


def flash(info):
    """Flashes one board; the board calls release the GIL, so the boards flash side by side."""
    try:
        backup = info.open().flash_eeprom(args.image)
        return f"ok (backup in {backup})"
    except kousb.Error as error:
        return f"FAILED: {type(error).__name__}: {error}"


tray = kousb.boards()
with ThreadPoolExecutor(max_workers=max(1, len(tray))) as pool:
    results = list(pool.map(flash, tray))
for info, result in zip(tray, results):
    print(f"slot {info.slot}, ID {info.id} {info.name!r}: {result}")
sys.exit(0 if tray and all(r.startswith("ok") for r in results) else 1)
