# SPDX-License-Identifier: MIT
# The Python module with threads: two boards driven at once, a board
# unplugged under a running call, arrivals and removals watched from a thread.
import sys
import threading

import pytest

import kousb
from conftest import sim


def test_two_boards_at_once(plug):
    plug(21, "Left")
    plug(22, "Right")
    left, right = kousb.board(21), kousb.board(22)
    calls = {21: 0, 22: 0}
    overlapped = {21: False, 22: False}
    done = threading.Event()

    # With the GIL held for a whole call, the other thread could not finish
    # one of its own meanwhile: the switch interval below is far longer
    # than the test, so only a call that lets go of the GIL lets it run.
    def drive(board, me, other):
        for _ in range(2000):
            if done.is_set():
                break
            before = calls[other]
            board.read("FPGA", 0)
            calls[me] += 1
            overlapped[me] = overlapped[me] or calls[other] > before
            if all(overlapped.values()):
                done.set()

    interval = sys.getswitchinterval()
    sys.setswitchinterval(100)
    try:
        threads = [threading.Thread(target=drive, args=(left, 21, 22)),
                   threading.Thread(target=drive, args=(right, 22, 21))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:
        sys.setswitchinterval(interval)
    assert overlapped == {21: True, 22: True}


def test_unplugged_under_a_running_call(plug):
    slot = plug(31, "Pulled", rate=1)  # 64 KiB take 64 ms
    board = kousb.board(31)
    started, outcome = threading.Event(), []

    def stream():
        try:
            while True:
                board.write_block(bytes(65536))
                started.set()
        except BaseException as error:  # noqa: B036  whatever ends it is the result
            outcome.append(error)
            started.set()

    worker = threading.Thread(target=stream)
    worker.start()
    started.wait(60)
    sim("unplug", slot)
    worker.join(60)
    assert not worker.is_alive() and isinstance(outcome[0], kousb.UnpluggedError)
    # Every call fails as unplugged; the identity (which the library keeps)
    # once the library has looked for boards again.
    kousb.boards()
    for call in (lambda: board.read("UART", size=1), lambda: board.read_block(16), lambda: board.id):
        with pytest.raises(kousb.UnpluggedError):
            call()


def test_watch_from_a_thread(plug):
    seen, ready = [], threading.Event()

    def follow():
        changes = kousb.watch(timeout=30)
        ready.set()
        for change in changes:
            seen.append((change.kind, change.board.id, change.board.name))
            if change.kind == "removed":
                break

    follower = threading.Thread(target=follow)
    follower.start()
    ready.wait(30)
    slot = plug(41, "Watched")
    sim("unplug", slot)
    follower.join(60)
    assert seen == [("arrived", 41, "Watched"), ("removed", 41, "Watched")]
    # Nothing happens: the iteration ends once the timeout has passed.
    assert list(kousb.watch(timeout=0.2)) == []
