// SPDX-License-Identifier: MIT
#include "schedulemedians.h"

#include "KoUSBLib.h"
#include "benchmarkrun.h"

#include <algorithm>
#include <chrono>
#include <cmath>

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::optional<ScheduleMedians> scheduleMedians(KoUSBDevice& device, int runs, std::string& failure)
{
    using Clock = std::chrono::steady_clock;
    std::array<std::vector<double>, benchmark::kPasses> writes, reads;
    std::vector<double> runSeconds;
    for (int run = 0; run < runs; ++run) {
        const Clock::time_point start = Clock::now();
        const bool complete = benchmark::runPasses(device, [&](const benchmark::PassResult& r) {
            if (r.failed) {
                failure = "pass " + std::to_string(r.pass.number) + ": " + benchmark::callName(*r.failed)
                          + " failed: " + device.GetLastError();
                return false;
            }
            writes[r.pass.number - 1].push_back(r.write.value_or(NAN));
            reads[r.pass.number - 1].push_back(r.read.value_or(NAN));
            return true;
        });
        if (!complete)
            return std::nullopt;
        runSeconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    ScheduleMedians medians;
    for (int i = 0; i < benchmark::kPasses; ++i) {
        medians.write[i] = median(writes[i]);
        medians.read[i] = median(reads[i]);
    }
    medians.runSeconds = median(runSeconds);
    return medians;
}
