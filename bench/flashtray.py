#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""A tray of simulated boards flashed by one `kousb --all flash-eeprom`: the
wall time for one board and for a tray of N (8 by default), each the median
of several rounds, rounds alternating so that both see the same load. The
image fills the 16 KiB EEPROM; each board's flash makes its own backup,
reads the EEPROM back and verifies it, as on a lab bench.

    bench/flashtray.py [--build DIR] [--boards N] [--rounds N]
"""
import argparse
import os
import pathlib
import statistics
import subprocess
import tempfile
import time

EEPROM_BYTES = 16 * 1024

top = pathlib.Path(__file__).resolve().parents[1]
parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("--build", type=pathlib.Path, default=top / "build", help="the build folder (default: build)")
parser.add_argument("--boards", type=int, default=8, help="boards in the tray")
parser.add_argument("--rounds", type=int, default=5)
args = parser.parse_args()
kousb = args.build / "tools" / "kousb" / "kousb"
sim = args.build / "tools" / "kousb-sim" / "kousb-sim"


def intel_hex(data):
    """Intel HEX of `data` from address 0, 16 bytes a record."""
    lines = []
    for offset in range(0, len(data), 16):
        chunk = data[offset:offset + 16]
        record = bytes([len(chunk), offset >> 8, offset & 0xFF, 0]) + chunk
        lines.append(":" + record.hex().upper() + "%02X" % (-sum(record) & 0xFF))
    return "\n".join(lines + [":00000001FF", ""])


def tray_seconds(folder, boards, image):
    """One flash of `boards` fresh boards in a folder of their own."""
    env = dict(os.environ, KOUSB_SIM_DIR=str(folder), KOUSB_USB_BACKEND="off", XDG_DATA_HOME=str(folder / "data"))
    folder.mkdir()
    for board in range(boards):
        subprocess.run([sim, "plug", "--id", str(board + 1)], env=env, check=True, capture_output=True)
    start = time.monotonic()
    done = subprocess.run([kousb, "--all", "flash-eeprom", image], env=env, capture_output=True, text=True)
    seconds = time.monotonic() - start
    if done.returncode != 0:
        raise SystemExit(done.stdout + done.stderr)
    return seconds


with tempfile.TemporaryDirectory(prefix="kousb-flashtray-") as work:
    work = pathlib.Path(work)
    # Not 0xC2 at offset 0, so the controller would not boot from it: the boot check lets it pass.
    image = work / "image.hex"
    image.write_text(intel_hex(bytes((i * 7 + 3) & 0xFF for i in range(EEPROM_BYTES))))
    times = {1: [], args.boards: []}
    for round_ in range(args.rounds):
        for boards in times:
            times[boards].append(tray_seconds(work / f"round{round_}-{boards}", boards, image))
    one, tray = statistics.median(times[1]), statistics.median(times[args.boards])
    print(f"flash-eeprom of a {EEPROM_BYTES // 1024} KiB image, median of {args.rounds} rounds "
          f"(load average {os.getloadavg()[0]:.2f} on {os.cpu_count()} cores):")
    print(f"  1 board:   {one:6.2f} s")
    print(f"  {args.boards} boards: {tray:6.2f} s  ({tray / one:.2f} x one board)")
