// SPDX-License-Identifier: MIT
// The simulated board's bulk pipe: the "Block" IO mode and the benchmark.
//
// Data goes through a loopback FIFO (bulkpipe.h) in the board's shared
// state; each call takes as long as the timing model says (simtiming.h),
// counted from the call's start, at the board's bulk rate, so the board's
// own work lies inside the modelled time. The last write is recorded as
// "Block", like the other IO modes.
#include "simboard.h"

#include "simtiming.h"

namespace kousb::sim {

namespace {

Status checkRate(double rateMBps)
{
    if (!(rateMBps > 0))
        return Status::error(ErrorCode::NotConfigured, "the board has no bulk rate");
    return Status::ok();
}

}  // namespace

Status SimBoard::readBlock(std::uint8_t* data, std::size_t length)
{
    const auto start = timing::Clock::now();
    Status result = withBoard([&](SharedBoardState& s) {
        if (Status r = checkRate(m_config.bulkRateMBps); !r)
            return r;
        s.ram.bulk.read(data, length);
        return Status::ok();
    });
    if (result)
        waitBulkTransfer(length, m_config.bulkRateMBps, start);
    return result;
}

Status SimBoard::writeBlock(const std::uint8_t* data, std::size_t length)
{
    const auto start = timing::Clock::now();
    Status result = withBoard([&](SharedBoardState& s) {
        if (Status r = checkRate(m_config.bulkRateMBps); !r)
            return r;
        if (length > 0)
            s.ram.bulk.write(data, length);
        recordWrite(IoMode::Block, data, length);
        return Status::ok();
    });
    if (result)
        waitBulkTransfer(length, m_config.bulkRateMBps, start);
    return result;
}

}  // namespace kousb::sim
