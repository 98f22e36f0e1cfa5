// SPDX-License-Identifier: MIT
#pragma once
#include <chrono>
#include <cstddef>

namespace kousb::sim {

// How long the simulated board's transfers take, so that software timing
// them sees what it would see on a USB 2.0 high-speed link. The transport
// (simtransport.h) charges every transfer its time, counted from its start.
// This file and simtiming.cpp are the one place where the model and its
// constants live, but for what the board's chips take on their wires (an I2C
// byte, the EEPROM's write cycle, a byte of FPGA configuration), which the
// chip models count (firmware/models/boardmodel.h) and a transfer includes.
//
// The model
// ---------
// Rates are in "Mbyte/s" as the benchmark page counts them: kbyte (1,024
// bytes) per millisecond, that is 1,024,000 bytes per second. The board
// file's `rate` is in this unit, so a benchmark curve levels off at the
// board's rate as read from its axis. (FORMATS.md quotes the USB figures in
// decimal megabytes, 10^6 bytes; the two differ by 2.4 %.)
//
// Bulk transfer of n bytes on a board whose bulk rate is R:
//
//     t_bulk(n) = kBulkTransferOverhead + n / (R * kBytesPerSecondPerMBps)
//
//   kBulkTransferOverhead, 250 us: two 125 us microframes per transfer, one
//   for the host controller to schedule a new transfer at a microframe
//   boundary and one for the final short (or zero-length) packet and the
//   completion reaching the caller. This is what makes small blocks slow:
//   the curve rises with the block size and levels off below R, as on real
//   boards. At 24 Mbyte/s a 4 kbyte block takes 0.417 ms (9.6 Mbyte/s) and a
//   64 kbyte block 2.917 ms (21.9 Mbyte/s).
//
//   R is taken from the board as it is (its file allows above 0 up to 1000);
//   nothing caps it at the 53.248 MB/s that a high-speed link can carry.
//   The zero-length packet the host sends after a write of whole packets
//   is that final packet: it costs nothing of its own.
//
// Control transfer (one register-style access: setup, at most a few bytes
// of data, status):
//
//     t_control = max(kControlTransfer, t_chips)
//
//   kControlTransfer, 250 us, is the round trip of two microframes (setup
//   and data in one, status in the next; FORMATS.md: "one to three
//   microframes"), so single-byte register reads run at 4.0 kHz. t_chips is
//   what the board's chips took in the request, since its status stage
//   waits for the firmware: 22.5 us an I2C byte at 400 kHz, 3 ms an EEPROM
//   page's write cycle (so a 64-byte page write takes about 4.5 ms, an
//   identity read of 44 bytes about 1.1 ms), 0.25 us a byte of FPGA
//   configuration (about 4 Mbyte/s: a Spartan-3E 500E's 283 kbyte take 70 ms).
//
// Interrupt transfer (a 16-byte report): the next microframe, as the host
// polls the endpoint every microframe (bInterval 1), or t_chips when longer
// (the status report reads the temperature sensor).
//
// A transfer nobody answers (a request to firmware held in reset) lasts the
// host's timeout.
//
// Waiting
// -------
// Each wait runs to a deadline on the steady clock: it sleeps while more than
// kSpinMargin is left (the kernel wakes a sleeper some 50-150 us late) and
// spins for the rest, so a wait ends within a few microseconds of its
// deadline on an idle machine. A transfer's deadline counts from the start of
// the call, so the board's own work (copying, bookkeeping) lies inside the
// modelled time instead of adding to it. On a loaded machine a wait can only
// end late, never early.

namespace timing {

using Clock = std::chrono::steady_clock;

constexpr double kBytesPerSecondPerMBps = 1024.0 * 1000.0;
constexpr std::chrono::microseconds kMicroframe{125};
constexpr std::chrono::microseconds kBulkTransferOverhead = 2 * kMicroframe;
constexpr std::chrono::microseconds kControlTransfer = 2 * kMicroframe;
constexpr std::chrono::microseconds kSpinMargin{200};

// The modelled duration of one bulk transfer of `bytes` at `rateMBps`
// (which must be above 0; a rate that is not counts the overhead only).
std::chrono::nanoseconds bulkTransferTime(std::size_t bytes, double rateMBps);

// The modelled duration of one control transfer in which the chips took `chips`.
constexpr std::chrono::nanoseconds controlTransferTime(std::chrono::nanoseconds chips = {})
{
    return chips > kControlTransfer ? chips : std::chrono::nanoseconds(kControlTransfer);
}

// The modelled duration of one interrupt transfer in which the chips took `chips`.
constexpr std::chrono::nanoseconds interruptTransferTime(std::chrono::nanoseconds chips)
{
    return chips > kMicroframe ? chips : std::chrono::nanoseconds(kMicroframe);
}

// Blocks until `deadline` (returns at once if it has passed).
void waitUntil(Clock::time_point deadline);

}  // namespace timing

}  // namespace kousb::sim
