// SPDX-License-Identifier: MIT
#pragma once
// What the benchmark programs share: the median of a few runs, and the
// "Benchmark" page's schedule run several times on one board.
#include "benchmarkschedule.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

class KoUSBDevice;

// The middle value of `values`, or the mean of the two middle ones for an
// even count; `values` must not be empty.
double median(std::vector<double> values);

// Per pass, the median of the runs' write and read rates in kbyte/ms (NaN
// for a direction too fast to time), and the median time of a whole run.
struct ScheduleMedians {
    std::array<double, benchmark::kPasses> write{};
    std::array<double, benchmark::kPasses> read{};
    double runSeconds = 0;
};

// Runs the schedule `runs` times (at least once) on `device` with
// benchmark::runPasses. None at the first failed transfer, with `failure`
// saying where and why: "pass 3: ReadBlock failed: REASON".
std::optional<ScheduleMedians> scheduleMedians(KoUSBDevice& device, int runs, std::string& failure);
