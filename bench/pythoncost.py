#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The Python module's cost beside the C++ library's, on a simulated board:
a 1-byte UART call (one modelled 250 us control transfer; on the wall clock
beyond it, which is the call's own cost, and in CPU time, which a loaded
machine does not lengthen but which holds the spun end of the wait), a
1-byte FPGA register read (one modelled control transfer) and the
rates of 64 KiB block writes and reads (read_block into a bytearray, and
into a new bytes object). Rounds alternate between udm-callcost (C++)
and the same calls from Python, so both see the same load; each figure is
the median over the rounds of the medians of each round's runs.

    bench/pythoncost.py [--build DIR] [--rounds N] [--runs N] [--rate MBPS]
"""
import argparse
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

# As many calls per run as bench/callcost.cpp makes; a control transfer's
# modelled time (src/usb/sim/simtiming.h).
UART_CALLS, FPGA_READS, BLOCKS, BLOCK_BYTES = 2000, 400, 32, 65536
CONTROL_TRANSFER_US = 250

top = pathlib.Path(__file__).resolve().parents[1]
parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("--build", type=pathlib.Path, default=top / "build", help="the build folder (default: build)")
parser.add_argument("--rounds", type=int, default=9)
parser.add_argument("--runs", type=int, default=5, help="runs per round and side")
parser.add_argument("--rate", type=float, default=24, help="the board's bulk rate, Mbyte/s")
args = parser.parse_args()

folder = tempfile.TemporaryDirectory(prefix="udm-pythoncost-")
os.environ.update(KOUSB_SIM_DIR=folder.name, KOUSB_USB_BACKEND="off")
subprocess.run([args.build / "tools/kousb-sim/kousb-sim", "plug", "--rate", str(args.rate)], check=True,
               stdout=subprocess.DEVNULL)
sys.path.insert(0, str(args.build / "python"))
import kousb  # noqa: E402  (after the board folder is set)

board = kousb.board()
UART, FPGA = kousb.Mode.UART, kousb.Mode.FPGA
one, room, block = b"\0", bytearray(BLOCK_BYTES), bytes(BLOCK_BYTES)


def per_call_us(count, call):
    """Microseconds a call: on the wall clock, and in this thread's CPU time."""
    cpu, wall = time.thread_time_ns(), time.perf_counter_ns()
    for _ in range(count):
        call()
    return (time.perf_counter_ns() - wall) / 1000 / count, (time.thread_time_ns() - cpu) / 1000 / count


def rate(us_per_block):
    return BLOCK_BYTES / 1024 / (us_per_block / 1000)  # kbyte/ms, the page's "Mbyte/sec"


def python_round():
    runs = {k: [] for k in ("uart_call_us", "uart_call_cpu_us", "fpga_read_us", "write_block_MBps",
                            "read_block_MBps", "read_block_new_MBps")}
    for run in range(-1, args.runs):  # the first only warms up, as in callcost.cpp
        write = per_call_us(UART_CALLS, lambda: board.write(UART, None, one))
        read = per_call_us(UART_CALLS, lambda: board.read(UART, None, 1))
        runs["uart_call_us"].append((write[0] + read[0]) / 2 - CONTROL_TRANSFER_US)
        runs["uart_call_cpu_us"].append((write[1] + read[1]) / 2)
        runs["fpga_read_us"].append(per_call_us(FPGA_READS, lambda: board.read(FPGA, 0, 1))[0])
        runs["write_block_MBps"].append(rate(per_call_us(BLOCKS, lambda: board.write_block(block))[0]))
        runs["read_block_MBps"].append(rate(per_call_us(BLOCKS, lambda: board.read_block(room))[0]))
        runs["read_block_new_MBps"].append(rate(per_call_us(BLOCKS, lambda: board.read_block(BLOCK_BYTES))[0]))
        if run < 0:
            for figures in runs.values():
                figures.clear()
    return {k: statistics.median(v) for k, v in runs.items()}


def cpp_round():
    out = subprocess.run([args.build / "bench/udm-callcost", "--runs", str(args.runs)], check=True,
                         capture_output=True, text=True).stdout
    return {name: float(value) for name, value in (line.split() for line in out.splitlines())}


cpp, python = [], []
for _ in range(args.rounds):
    cpp.append(cpp_round())
    python.append(python_round())


def med(rounds, key):
    return statistics.median(r[key] for r in rounds)


with open("/proc/loadavg") as f:
    load = f.read().split()[:3]
print(f"Python {sys.version.split()[0]} against C++, one simulated board at {args.rate:g} Mbyte/s; "
      f"median of {args.rounds} rounds of {args.runs} runs each; load average {' '.join(load)} on "
      f"{os.cpu_count()} CPUs")
print(f"{'':34}{'C++':>10}{'Python':>10}  difference")
for key, what in (("uart_call_us", "1-byte UART call beyond 250 us"), ("uart_call_cpu_us", "  its CPU time, us"),
                  ("fpga_read_us", "1-byte FPGA read, us")):
    c, p = med(cpp, key), med(python, key)
    print(f"{what:34}{c:10.2f}{p:10.2f}  {p - c:+.2f} us")
for key, cpp_key, what in (("write_block_MBps", "write_block_MBps", "write_block 64 KiB, Mbyte/s"),
                           ("read_block_MBps", "read_block_MBps", "read_block 64 KiB into a buffer"),
                           ("read_block_new_MBps", "read_block_MBps", "read_block 64 KiB, new bytes")):
    c, p = med(cpp, cpp_key), med(python, key)
    print(f"{what:34}{c:10.3f}{p:10.3f}  {100 * (p - c) / c:+.2f} %")
