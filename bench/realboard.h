// SPDX-License-Identifier: MIT
#pragma once
#include <string>

// Runs the Benchmark page's schedule on the real board `pair` (vvvv:pppp)
// through the libusb backend, `runs` times, printing Mbyte/s per block size.
int benchRealBoard(const std::string& pair, int runs);

// Measures the library's own time per 64 KiB block transfer on a board
// running our firmware's host-compiled core: the whole call minus the time
// spent inside the transport.
int benchBackendCost(int runs);
