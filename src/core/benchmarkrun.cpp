// SPDX-License-Identifier: MIT
#include "benchmarkrun.h"

#include "KoUSBLib.h"

#include <chrono>
#include <vector>

namespace benchmark {

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nanosecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
}

// One direction of `pass`: its transfers from or into `buffer`, timed; none
// at the first failed call.
std::optional<std::int64_t> timeDirection(KoUSBDevice& device, Direction direction, unsigned char* buffer,
                                          const Pass& pass)
{
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < pass.repetitions; ++i) {
        const bool ok = direction == Direction::Write ? device.WriteBlock(buffer, pass.bytes)
                                                      : device.ReadBlock(buffer, pass.bytes);
        if (!ok)
            return std::nullopt;
    }
    return nanosecondsSince(start);
}

}  // namespace

const char* callName(Direction direction) { return direction == Direction::Write ? "WriteBlock" : "ReadBlock"; }

bool runPasses(KoUSBDevice& device, const PassReport& report)
{
    std::vector<unsigned char> buffer(kBufferBytes);
    for (const Pass& pass : schedule()) {
        PassResult result{pass, std::nullopt, std::nullopt, std::nullopt};
        for (const Direction direction : {Direction::Write, Direction::Read}) {
            const std::optional<std::int64_t> elapsed = timeDirection(device, direction, buffer.data(), pass);
            if (!elapsed) {
                result.failed = direction;
                break;
            }
            (direction == Direction::Write ? result.write : result.read) =
                transferRate(pass.kbytes, pass.repetitions, *elapsed);
        }
        if (!report(result) || result.failed)
            return false;
    }
    return true;
}

std::optional<std::int64_t> timeSingleByteReads(KoUSBDevice& device)
{
    unsigned char byte = 0;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kSingleByteReads; ++i)
        if (!device.ReadXilinx(kSingleByteAddress, &byte, 1))
            return std::nullopt;
    return nanosecondsSince(start);
}

}  // namespace benchmark
