// SPDX-License-Identifier: MIT
#pragma once
// The transfer benchmark's schedule and rate arithmetic, shared by
// the "Benchmark" page, bench/ and command-line tools. Plain C++17, no Qt.
#include <array>
#include <cstdint>
#include <optional>

namespace benchmark {

constexpr int kPasses = 16;
constexpr int kBlockStep = 4096;                    // bytes added per pass
constexpr int kBufferBytes = kBlockStep * kPasses;  // 65,536: the largest block

// One pass of the run: `repetitions` transfers of `bytes` in each direction.
struct Pass {
    int number = 0;       // 1..16
    int bytes = 0;        // 4,096 x number
    int repetitions = 0;  // 72 - 4 x number
    double kbytes = 0.0;  // bytes / 1024: the x value, 4 to 64 in steps of 4

    long long bytesPerDirection() const { return static_cast<long long>(bytes) * repetitions; }
};

// Pass `number` (1..16) of the schedule.
constexpr Pass pass(int number)
{
    return Pass{number, kBlockStep * number, 72 - 4 * number, (kBlockStep * number) * 0.0009765625};
}

// The 16 passes in the order they run.
std::array<Pass, kPasses> schedule();

// Bytes a whole run moves in each direction (15,597,568).
long long totalBytesPerDirection();

// Nanoseconds as (fractional) milliseconds.
constexpr double milliseconds(std::int64_t nanoseconds) { return static_cast<double>(nanoseconds) / 1e6; }

// The rate of `repetitions` transfers of `kbytes` each that took `elapsedNs`
// in all: kbytes / (t / repetitions) with t in milliseconds, which is kbyte
// per millisecond, the unit the plot calls "Mbyte/sec". Empty when no rate
// can be given (no time measured, or no transfer), so a caller never has an
// infinite or NaN rate to show.
std::optional<double> transferRate(double kbytes, int repetitions, std::int64_t elapsedNs);

// The single-byte access rate in kHz (accesses per millisecond) of `count`
// accesses that took `elapsedNs`; empty as above.
std::optional<double> accessRateKHz(int count, std::int64_t elapsedNs);

// How many one-byte FPGA register reads the page times after the passes,
// and at which register.
constexpr int kSingleByteReads = 256;
constexpr unsigned short kSingleByteAddress = 0;

}  // namespace benchmark
