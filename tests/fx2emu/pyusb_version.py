#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Finds the board running our firmware at the device address given as the
argument with pyusb (Debian's python3-usb) and prints its version reply
(vendor request 0xB0, six bytes) in hexadecimal."""
import sys

import usb.core

board = usb.core.find(idVendor=0x04B4, idProduct=0x1004, address=int(sys.argv[1]))
if board is None:
    sys.exit("no board 04b4:1004 at address " + sys.argv[1])
print(bytes(board.ctrl_transfer(0xC0, 0xB0, 0, 0, 6)).hex())
