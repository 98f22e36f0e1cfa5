// SPDX-License-Identifier: MIT
#include "simtransport.h"

#include "../atomicfile.h"
#include "controller.h"
#include "simtiming.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

namespace kousb::sim {

using namespace usb;

namespace {

TransferResult resultOf(const fwmodel::Reply& reply)
{
    switch (reply.outcome) {
    case fwmodel::Reply::Done: return {TransferError::None, reply.actual, {}};
    case fwmodel::Reply::Stall: return {TransferError::Stall, reply.actual, "stall"};
    case fwmodel::Reply::Nak: return {TransferError::Timeout, 0, "no answer"};
    case fwmodel::Reply::Overflow: return {TransferError::Overflow, reply.actual, "overflow"};
    case fwmodel::Reply::Gone: break;
    }
    return {TransferError::NoDevice, 0, "unplugged"};
}

TransferResult gone() { return resultOf({fwmodel::Reply::Gone, 0}); }

std::chrono::nanoseconds chipsTime(const fwmodel::Board& board) { return std::chrono::nanoseconds(board.busyNs); }

// When a transfer begun at `start` ends: one the board NAKs waits out its
// timeout, any other takes the time the model gives it.
timing::Clock::time_point endOf(timing::Clock::time_point start, const fwmodel::Reply& reply, Milliseconds timeout,
                                timing::Clock::duration modelled)
{
    return start
           + (reply.outcome == fwmodel::Reply::Nak ? std::chrono::duration_cast<timing::Clock::duration>(timeout)
                                                   : modelled);
}

}  // namespace

std::string stateFilePath(const std::string& boardFilePath)
{
    const auto slash = boardFilePath.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : boardFilePath.substr(0, slash);
    std::string name = slash == std::string::npos ? boardFilePath : boardFilePath.substr(slash + 1);
    const std::string suffix = ".board";
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        name.resize(name.size() - suffix.size());
    return dir + "/" + kStateFolder + "/" + name + ".state";
}

// The board's lock for one transfer, unless the call holds it already.
class SimTransport::Held {
public:
    explicit Held(const SimTransport& transport) : m_transport(transport) { m_transport.lockBoard(); }
    ~Held() { m_transport.unlockBoard(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    const SimTransport& m_transport;
};

SimTransport::SimTransport(std::string path, BoardState config) : m_path(std::move(path)), m_config(std::move(config))
{
    m_config.lastWrites.clear();
    m_shared = SharedBoard::open(stateFilePath(m_path), m_config, m_openError);
    // A fault stays as long as the board file says so, whoever powered the board.
    if (m_shared) {
        Held held(*this);
        m_shared->board().eeprom.dropOffset = m_config.eepromDropOffset ? std::int32_t(*m_config.eepromDropOffset) : -1;
    }
}

SimTransport::~SimTransport() = default;

void SimTransport::lockBoard() const
{
    if (!m_shared || m_depth++ > 0)
        return;
    m_lock = std::make_unique<SharedBoard::Lock>(*m_shared);
    m_changesAtLock = m_shared->board().changes;
}

void SimTransport::unlockBoard() const
{
    if (!m_shared || --m_depth > 0)
        return;
    finishWrite();
    // The pages went to the file one by one without a flush each (256 of them
    // for a whole EEPROM); the call makes them durable once, as a flash would.
    if (m_unflushed) {
        flushToDisk(m_path);
        m_unflushed = false;
    }
    m_shared->callEnded(m_changesAtLock, m_shared->board().changes);
    m_lock.reset();
}

void SimTransport::finishWrite() const
{
    if (m_writeEnds == timing::Clock::time_point{})
        return;
    timing::waitUntil(m_writeEnds);
    m_writeEnds = {};
}

void SimTransport::beginCall() { lockBoard(); }

void SimTransport::endCall() { unlockBoard(); }

std::optional<TransferResult> SimTransport::unavailable() const
{
    if (!m_shared)
        return TransferResult{TransferError::Other, 0, m_openError};
    if (!pluggedLocked())
        return gone();
    return std::nullopt;
}

bool SimTransport::pluggedLocked() const
{
    struct stat st;
    return m_shared->belongsTo(m_config.instance) && ::stat(m_path.c_str(), &st) == 0;
}

// Each transfer writes at most one EEPROM page, and the file is replaced
// whole, so a process killed at any moment leaves each page old or new. The
// flush to disk waits for the end of the call. A page the board file cannot
// take is undone, so that the board and its file agree, and the transfer fails.
TransferResult SimTransport::writeThrough()
{
    fwmodel::Board& board = m_shared->board();
    BoardState file = m_config;
    file.eeprom.assign(board.eeprom.cells, board.eeprom.cells + KOUSB_EEPROM_SIZE);
    std::string error;
    if (writeFileAtomic(m_path, formatBoardFile(file), WriteMode::ReplaceExisting, error, false)) {
        board.eepromChanged = false;
        m_unflushed = true;
        return {};
    }
    board.eeprom.writing = true;
    fwmodel::undoTornPageWrite(board.eeprom);
    board.eepromChanged = false;
    if (!pluggedLocked())
        return gone();
    return {TransferError::Other, 0, error};
}

void SimTransport::record(std::uint8_t request, std::uint8_t endpoint, const std::uint8_t* data, std::size_t length)
{
    for (std::size_t i = 0; i < sizeof kRecordedRoutes / sizeof kRecordedRoutes[0]; ++i) {
        if (kRecordedRoutes[i].request != request || kRecordedRoutes[i].endpoint != endpoint)
            continue;
        RecordedWrite& last = m_shared->state().powered.lastWrites[i];
        last.length = length;
        last.headLength = std::uint8_t(std::min(length, kLastWriteBytes));
        std::copy_n(data, last.headLength, last.head);
        last.written = true;
    }
}

void SimTransport::nameFirmware(const std::string& name)
{
    Held held(*this);
    if (m_shared)
        fwmodel::nameFirmwareComing(m_shared->board(), name.c_str());
}

void SimTransport::nameDesign(const std::string& name)
{
    Held held(*this);
    if (m_shared)
        fwmodel::nameDesignComing(m_shared->board(), name.c_str());
}

DeviceDescription SimTransport::description() const
{
    Held held(*this);
    DeviceDescription d;
    const bool running = m_shared && m_shared->board().controller.running;
    d.vendorId = running ? KOUSB_FIRMWARE_VID : KOUSB_BOOT_VID;
    d.productId = running ? KOUSB_FIRMWARE_PID : KOUSB_BOOT_PID;
    d.deviceRelease = running ? FW_VERSION : 0;
    d.speed = "high (480 Mbit/s)";
    d.portPath = {std::uint8_t(m_config.slot)};
    d.deviceAddress = 1;
    d.configuration = 1;
    AltSettingDescription alt;
    alt.interfaceClass = 0xFF;
    // The boot ROM's default interface at its first alternate setting moves nothing.
    if (running)
        alt.endpoints = {{0x01, EndpointType::Interrupt, 64},
                         {0x81, EndpointType::Interrupt, 64},
                         {0x02, EndpointType::Bulk, FW_BULK_PACKET},
                         {0x86, EndpointType::Bulk, FW_BULK_PACKET}};
    d.altSettings = {alt};
    d.product = running ? fwmodel::kSimulatedProfile.name : "";
    return d;
}

std::string SimTransport::note() const
{
    Held held(*this);
    std::string firmware, design;
    if (m_shared) {
        const fwmodel::Board& board = m_shared->board();
        firmware = board.controller.firmware;
        design = board.fpga.configured ? board.fpga.design : "";
    }
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f", m_config.bulkRateMBps);
    return "Simulated board, slot " + std::to_string(m_config.slot) + " (" + m_path + ")\n"
           + "Controller firmware: " + (firmware.empty() ? std::string("none (boot loader)") : firmware) + "\n"
           + "FPGA " + m_config.fpgaPart + ": " + (design.empty() ? "not configured" : "configured with " + design)
           + "\n" + "Bulk rate: " + rate + " Mbyte/s\n";
}

std::uint64_t SimTransport::changeCount() const { return m_shared ? m_shared->changes() : 0; }

TransferResult SimTransport::control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                     std::uint16_t index, std::uint8_t* data, std::size_t length, Milliseconds timeout)
{
    const auto called = timing::Clock::now();
    TransferResult result;
    {
        Held held(*this);
        if (auto refused = unavailable())
            return *refused;
        const auto start = std::max(called, m_writeEnds);
        finishWrite();
        fwmodel::Board& board = m_shared->board();
        const std::uint8_t setup[8] = {requestType,          request,
                                       std::uint8_t(value),  std::uint8_t(value >> 8),
                                       std::uint8_t(index),  std::uint8_t(index >> 8),
                                       std::uint8_t(length), std::uint8_t(length >> 8)};
        const fwmodel::Reply reply = fwmodel::control(board, setup, data);
        result = resultOf(reply);
        if (board.eepromChanged)
            if (TransferResult saved = writeThrough(); !saved.ok())
                return saved;
        if (result.ok() && (requestType & 0xE0) == KOUSB_VENDOR_OUT)
            record(request, 0, data, length);
        timing::waitUntil(endOf(start, reply, timeout, timing::controlTransferTime(chipsTime(board))));
    }
    return result;
}

TransferResult SimTransport::bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, Milliseconds timeout)
{
    const auto called = timing::Clock::now();
    Held held(*this);
    if (auto refused = unavailable())
        return *refused;
    // A zero-length packet that ends a write of whole packets belongs to that
    // write: the model counts it in the write's own time, which is waited out
    // once it has been taken.
    const bool ending = endpoint == 0x02 && length == 0 && m_blockWriteOpen;
    const auto start = std::max(called, m_writeEnds);
    if (!ending)
        finishWrite();
    const fwmodel::Reply reply = fwmodel::transfer(m_shared->board(), endpoint, false, data, length);
    const TransferResult result = resultOf(reply);
    if (result.ok() && endpoint == 0x02) {
        m_blockWriteOpen = length > 0 && length % FW_BULK_PACKET == 0;
        if (!ending)
            record(0, endpoint, data, length);
    }
    const auto ends = endOf(start, reply, timeout, timing::bulkTransferTime(reply.actual, m_config.bulkRateMBps));
    if (ending)
        finishWrite();
    else if (result.ok() && m_blockWriteOpen)
        m_writeEnds = ends;
    else
        timing::waitUntil(ends);
    return result;
}

TransferResult SimTransport::interrupt(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                                       Milliseconds timeout)
{
    const auto called = timing::Clock::now();
    Held held(*this);
    if (auto refused = unavailable())
        return *refused;
    const auto start = std::max(called, m_writeEnds);
    finishWrite();
    fwmodel::Board& board = m_shared->board();
    const fwmodel::Reply reply = fwmodel::transfer(board, endpoint, true, data, length);
    const TransferResult result = resultOf(reply);
    if (result.ok() && !(endpoint & 0x80))
        record(0, endpoint, data, length);
    timing::waitUntil(endOf(start, reply, timeout, timing::interruptTransferTime(chipsTime(board))));
    return result;
}

TransferResult SimTransport::clearHalt(std::uint8_t)
{
    Held held(*this);
    if (!m_shared || !pluggedLocked())
        return gone();
    return {};
}

TransferResult SimTransport::awaitReenumeration(Milliseconds, Milliseconds)
{
    Held held(*this);
    if (!m_shared || !pluggedLocked())
        return {TransferError::Timeout, 0, "the board did not come back"};
    fwmodel::takeRelease(m_shared->board());
    return {};
}

}  // namespace kousb::sim
