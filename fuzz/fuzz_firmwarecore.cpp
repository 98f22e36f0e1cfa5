// SPDX-License-Identifier: MIT
// The board firmware's core, compiled for the host, on the board models,
// fed what a host (or a broken one) can send: SETUP packets of every
// request with any wValue, wIndex and wLength, data stages cut into packets
// of any size up to the EP0 packet, requests given up half-way, and Block
// packets, IN buffers and interrupt reports in between, on boards with any
// capabilities and any chips fitted. Nothing may go out of bounds (every
// buffer the core gets is exactly as long as the packet) or hang, and every
// request the core refuses is stalled with a reason: the error request
// (0xB1) then answers with a non-zero code.
#include "boardmodel.h"
#include "controller.h"

#include "fuzzinput.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using Input = FuzzInput;

// A buffer of exactly `n` bytes, so that the sanitizer sees any access past it.
std::unique_ptr<std::uint8_t[]> exactly(std::size_t n) { return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[n]); }

// The size of the next EP0 packet: a full one, or any shorter one.
std::uint8_t packetSize(Input& in, std::size_t left)
{
    const std::uint8_t pick = in.byte();
    const std::size_t n = pick >= 0xC0 ? FW_EP0_PACKET : pick % (FW_EP0_PACKET + 1);
    return std::uint8_t(std::min(n, left));
}

enum class Outcome { Done, Refused, GivenUp };

// One control request as EP0 delivers it. The host gives up half-way when
// the input runs out during the data stage.
Outcome request(Input& in, const fw_setup& setup)
{
    if (fw_setup_begin(&setup))
        return Outcome::Refused;
    const bool isIn = (setup.type & 0x80) != 0;
    const std::size_t total = isIn ? fw_reply_length() : setup.length;
    if (total > setup.length)
        std::abort();  // a reply longer than the host asked for
    std::size_t moved = 0;
    do {
        if (in.empty() && moved < total) {
            fw_setup_abort();
            return Outcome::GivenUp;
        }
        const std::uint8_t n = packetSize(in, total - moved);
        auto packet = exactly(n);
        if (!isIn)
            for (std::uint8_t i = 0; i < n; ++i)
                packet[i] = in.byte();
        if (isIn ? fw_setup_in(packet.get(), n) : fw_setup_out(packet.get(), n))
            return Outcome::Refused;
        moved += n;
    } while (moved < total);
    return fw_setup_end() ? Outcome::Refused : Outcome::Done;
}

void checkErrorReply()
{
    const fw_setup error{KOUSB_VENDOR_IN, KOUSB_REQ_ERROR, 0, 0, KOUSB_ERROR_REPLY_SIZE};
    auto reply = exactly(KOUSB_ERROR_REPLY_SIZE);
    if (fw_setup_begin(&error) || fw_reply_length() != KOUSB_ERROR_REPLY_SIZE
        || fw_setup_in(reply.get(), KOUSB_ERROR_REPLY_SIZE) || fw_setup_end())
        std::abort();  // the error request itself must always be answered
    if (reply[0] == KOUSB_ERR_NONE)
        std::abort();  // a refusal without a reason
}

void controlRequest(Input& in)
{
    fw_setup setup{};
    const std::uint8_t kind = in.byte();
    setup.type = kind & 0x01 ? in.byte() : (kind & 0x02 ? KOUSB_VENDOR_IN : KOUSB_VENDOR_OUT);
    setup.request = kind & 0x04 ? in.byte() : std::uint8_t(KOUSB_REQ_VERSION + in.byte() % 16);
    setup.value = in.word();
    setup.index = in.word();
    // Mostly lengths a request can take; now and then any.
    setup.length = kind & 0x08 ? in.word() : std::uint16_t(in.byte() % 70);
    if (request(in, setup) == Outcome::Refused)
        checkErrorReply();
}

void bulk(Input& in)
{
    const std::uint8_t op = in.byte();
    switch (op % 4) {
    case 0:
    case 1: {
        const std::size_t n = op & 0x80 ? fw_bulk_packet : in.byte() % (fw_bulk_packet + 1u);
        auto packet = exactly(n);
        for (std::size_t i = 0; i < n; ++i)
            packet[i] = in.byte();
        fw_bulk_out(packet.get(), std::uint16_t(n));
        break;
    }
    case 2: {
        auto buffer = exactly(fw_bulk_packet);
        std::memset(buffer.get(), 0xEE, fw_bulk_packet);
        fw_bulk_in_fill(buffer.get(), op >> 7);
        break;
    }
    default:
        if (op & 0x80)
            fw_bulk_forget_in();
        else
            fw_bulk_reset(op & 0x40 ? FW_BULK_PACKET : FW_BULK_PACKET_FULL_SPEED);
        break;
    }
}

void reports(Input& in)
{
    auto report = exactly(KOUSB_REPORT_SIZE);
    if (in.byte() & 1) {
        for (std::size_t i = 0; i < KOUSB_REPORT_SIZE; ++i)
            report[i] = in.byte();
        fw_report_received(report.get());
    } else {
        fw_status_report(report.get());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in{data, size};
    const std::uint16_t capabilities = in.word();
    const std::uint8_t fitted = in.byte();
    // The board is made anew for every input, filled where it is.
    static auto board = std::make_unique<fwmodel::Board>();
    std::memset(static_cast<void*>(board.get()), 0, sizeof *board);
    fwmodel::PowerOn how;
    how.profile = {"fuzzed", capabilities, fitted & 0x01 ? "3s500e" : ""};
    fwmodel::powerOn(*board, how);
    board->eeprom.absent = !(fitted & 0x02);
    board->flash.absent = !(fitted & 0x04);
    board->fpga.absent = !(fitted & 0x08);
    board->eeprom.cyclePolls = fitted >> 6;
    board->i2c.bytesBeforeBusError = fitted & 0x10 ? in.byte() : -1;
    fwmodel::Bind bind(*board);
    while (!in.empty()) {
        switch (in.byte() % 4) {
        case 0:
        case 1: controlRequest(in); break;
        case 2: bulk(in); break;
        default: reports(in); break;
        }
    }
    return 0;
}
