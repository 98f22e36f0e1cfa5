// The simulated board's bulk pipe: the "Block" IO mode and the benchmark.
//
// Data goes through a loopback FIFO (bulkpipe.h); each call takes as long
// as the timing model says (simtiming.h), counted from the call's start, at
// the board's bulk rate.
//
// The last write is recorded in the board's state as "Block", like the
// other IO modes, but it is not always written to the board file at once:
// rewriting the file costs a good part of a small transfer's modelled time
// and would distort what the benchmark measures (some 1,200 writes a run).
//
//   - A write of at most kLastWriteBytes (16) bytes, the size the IO-tests
//     page moves and which the record holds whole, is written to the file at
//     once (not durably, like the other IO modes' records).
//   - A longer write (streaming, the benchmark) updates the record in memory
//     only. The file catches up whenever the board next writes it for any
//     reason (another IO mode's write, an EEPROM change, a short Block write);
//     until then the file's "last Block" line may be older than the board's.
//
// Either way the file write lies inside the call's modelled time when it
// fits there, so a short write takes no longer than the model says.
#include "simboard.h"

#include "simtiming.h"

#include <algorithm>

namespace kousb::sim {

namespace {

const std::string kBlockMode = "Block";

Status checkRate(double rateMBps)
{
    if (!(rateMBps > 0))
        return Status::error(ErrorCode::NotConfigured, "the board has no bulk rate");
    return Status::ok();
}

} // namespace

Status SimBoard::readBlock(std::uint8_t* data, std::size_t length)
{
    const auto start = timing::Clock::now();
    if (!plugged())
        return Status::error(ErrorCode::Unplugged);
    if (Status s = checkRate(m_state.bulkRateMBps); !s)
        return s;
    m_bulk.read(data, length);
    waitBulkTransfer(length, m_state.bulkRateMBps, start);
    return Status::ok();
}

Status SimBoard::writeBlock(const std::uint8_t* data, std::size_t length)
{
    const auto start = timing::Clock::now();
    if (!plugged())
        return Status::error(ErrorCode::Unplugged);
    if (Status s = checkRate(m_state.bulkRateMBps); !s)
        return s;
    if (length > 0)
        m_bulk.write(data, length);

    BoardState::LastWrite& last = m_state.lastWrites[kBlockMode];
    last.length = length;
    last.head.assign(data, data + std::min(length, kLastWriteBytes));
    if (length <= kLastWriteBytes) {
        if (Status saved = persist(false); !saved)
            return saved;
    }

    waitBulkTransfer(length, m_state.bulkRateMBps, start);
    return Status::ok();
}

} // namespace kousb::sim
