# SPDX-License-Identifier: MIT
# The Python module with threads: two boards driven at once, a board
# unplugged under a running call, arrivals and removals watched from a thread.
import sys
import threading

import kousb
from conftest import sim


def test_two_boards_at_once(plug):
    plug(21, "Left")
    plug(22, "Right")
    calls, overlapped = [0, 0], [False, False]

    # With the GIL held for a whole call, the other thread could not finish
    # one of its own meanwhile: the switch interval below is far longer
    # than the test, so only a call that lets go of the GIL lets it run.
    def drive(me):
        board = kousb.board(21 + me)
        for _ in range(2000):
            before = calls[1 - me]
            board.read("FPGA", 0)
            calls[me] += 1
            overlapped[me] = overlapped[me] or calls[1 - me] > before
            if all(overlapped):
                break

    interval = sys.getswitchinterval()
    sys.setswitchinterval(100)
    try:
        threads = [threading.Thread(target=drive, args=(me,)) for me in (0, 1)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:
        sys.setswitchinterval(interval)
    assert overlapped == [True, True]


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
