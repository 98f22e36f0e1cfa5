#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Logs the temperature of a board's LM75 sensor (I2C address 0x48), one
line per reading, until Ctrl-C or --count readings.

    log_temperature.py [--board ID] [--every SECONDS] [--count N]
"""
import argparse
import time

import kousb

SENSOR = 0x48       # the LM75's 7-bit address
TEMPERATURE = 0x00  # its temperature register: two bytes, 0.5 degrees per step in the top 9 bits

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("--board", type=int, help="the board's ID (default: any board)")
parser.add_argument("--every", type=float, default=1.0, help="seconds between readings")
parser.add_argument("--count", type=int, help="stop after this many readings")
args = parser.parse_args()

board = kousb.board(args.board)
board.write(kousb.Mode.I2C, SENSOR, bytes([TEMPERATURE]))  # the register pointer stays there
readings = 0
try:
    while args.count is None or readings < args.count:
        raw = int.from_bytes(board.read(kousb.Mode.I2C, SENSOR, 2), "big", signed=True)
        print(f"{time.strftime('%Y-%m-%d %H:%M:%S')}\t{(raw >> 7) / 2:.1f} °C", flush=True)
        readings += 1
        if args.count is None or readings < args.count:
            time.sleep(args.every)
except KeyboardInterrupt:
    pass
