// SPDX-License-Identifier: MIT
#pragma once
// The transfer benchmark's run on a board: the schedule's passes of block
// writes and then reads, each direction timed, reported pass by pass; and
// the single-byte reads timed after them. The one loop and stopwatch the
// "Benchmark" page, `kousb bench` and udm-bench all use, so that their
// figures are measured the same way. Plain C++17, no Qt.
#include "benchmarkschedule.h"

#include <cstdint>
#include <functional>
#include <optional>

class KoUSBDevice;

namespace benchmark {

enum class Direction { Write, Read };

// The library call that moves a direction's blocks: "WriteBlock" or "ReadBlock".
const char* callName(Direction direction);

// One pass as measured. A rate (transferRate: kbyte per millisecond) is none
// when its direction failed, did not run, or took no measurable time.
struct PassResult {
    Pass pass;
    std::optional<double> write;
    std::optional<double> read;
    // The direction whose transfer failed (the device's last error says
    // why); the run ends with this pass, and a pass whose writes failed
    // runs no reads.
    std::optional<Direction> failed;
};

// Called on the running thread with each pass as it ends; returns false to
// end the run there. What it throws passes through the run.
using PassReport = std::function<bool(const PassResult&)>;

// Runs the schedule's passes in order on `device`: in each, pass.repetitions
// block writes of pass.bytes and then as many block reads, each direction
// timed on the steady clock around its transfers alone. Every pass begun is
// reported. True when all passes ran, none failed and `report` never ended
// the run.
bool runPasses(KoUSBDevice& device, const PassReport& report);

// Times kSingleByteReads one-byte FPGA register reads at kSingleByteAddress,
// each a control transfer; none at the first failed read.
std::optional<std::int64_t> timeSingleByteReads(KoUSBDevice& device);

}  // namespace benchmark
