#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Lists the attached boards; with --board ID and --id/--name/--class, gives
that board a new identity.

    list_boards.py
    list_boards.py --board 1 --id 7 --name "Bench 7" --class 2
"""
import argparse

import kousb

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("--board", type=int, help="the ID of the board to identify")
parser.add_argument("--id", type=int, dest="new_id")
parser.add_argument("--name")
parser.add_argument("--class", type=int, dest="board_class")
args = parser.parse_args()

if args.board is not None:
    board = kousb.board(args.board)
    board.set_identity(id=args.new_id, name=args.name, board_class=args.board_class)

for info in kousb.boards():
    print(f"slot {info.slot}: ID {info.id}, {info.name!r}, class {info.board_class}, FW {info.firmware_version}")
