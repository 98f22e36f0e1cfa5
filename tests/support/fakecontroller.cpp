// SPDX-License-Identifier: MIT
#include "fakecontroller.h"

#include "backend.h"
#include "library.h"
#include "libusb/fx2board.h"
#include "registry.h"

#include <algorithm>
#include <cstring>

using namespace kousb::usb;
using namespace kousb::usb::protocol;

namespace {

TransferResult stall() { return {TransferError::Stall, 0, "LIBUSB_ERROR_PIPE"}; }
TransferResult done(std::size_t n) { return {TransferError::None, n, {}}; }

}  // namespace

FakeController::FakeController(Runs runs) : m_runs(runs) { describeAs(runs); }

void FakeController::describeAs(Runs runs)
{
    DeviceDescription d;
    d.vendorId = 0x04B4;
    d.productId = runs == Runs::Nothing ? 0x8613 : 0x1004;
    d.deviceRelease = 0xA001;
    d.speed = "high (480 Mbit/s)";
    d.bus = 1;
    d.portPath = {2, 3};
    d.deviceAddress = m_description.deviceAddress + 1;
    d.configuration = 1;
    d.openError = m_description.openError;
    AltSettingDescription alt;
    using T = EndpointType;
    for (const EndpointDescription& ep : {EndpointDescription{0x01, T::Interrupt, 64},
                                          {0x81, T::Interrupt, 64},
                                          {0x02, T::Bulk, 512},
                                          {0x86, T::Bulk, 512}})
        if (!m_removed.count(ep.type))
            alt.endpoints.push_back(ep);
    alt.interfaceClass = 0xFF;
    d.altSettings = {alt};
    d.product = runs == Runs::OurFirmware ? "Fake board" : "";
    m_description = d;
}

void FakeController::setAfterRelease(AfterRelease behaviour, Runs runs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_afterRelease = behaviour;
    m_runsAfterRelease = runs;
}

void FakeController::setCapabilities(std::uint16_t caps)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_caps = caps;
}

void FakeController::setAccessDenied()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_description.openError = TransferError::Access;
}

void FakeController::removeEndpoints(EndpointType type)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_removed.insert(type);
    const int address = m_description.deviceAddress;
    m_description.deviceAddress = address - 1;
    describeAs(m_runs);
}

void FakeController::haltEndpoint(std::uint8_t endpoint)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_halted.insert(endpoint);
}
void FakeController::timeoutNext(std::uint8_t endpoint)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_timeoutNext.insert(endpoint);
}
void FakeController::unplugAfter(int transfers)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_unplugCountdown = transfers;
}

std::vector<ControlRecord> FakeController::controlLog() const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_log;
}
void FakeController::clearLog()
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_log.clear();
}
bool FakeController::cpuInReset() const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_cpuReset;
}
std::set<std::uint8_t> FakeController::clearedEndpoints() const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_cleared;
}
int FakeController::reenumerations() const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_reenumerations;
}
bool FakeController::releasePending() const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_releasedSinceAwait;
}

std::vector<std::uint8_t> FakeController::memory(std::size_t address, std::size_t length) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_memory.begin() + long(address), m_memory.begin() + long(address + length)};
}

DeviceDescription FakeController::description() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_description;
}

bool FakeController::faulted(std::uint8_t endpoint, TransferResult& result)
{
    if (m_unplugged) {
        result = {TransferError::NoDevice, 0, "LIBUSB_ERROR_NO_DEVICE"};
        return true;
    }
    if (m_description.openError != TransferError::None) {
        result = {m_description.openError, 0, "LIBUSB_ERROR_ACCESS"};
        return true;
    }
    if (m_unplugCountdown == 0) {
        m_unplugged = true;
        result = {TransferError::NoDevice, 0, "LIBUSB_ERROR_NO_DEVICE"};
        return true;
    }
    if (m_unplugCountdown > 0)
        --m_unplugCountdown;
    if (m_timeoutNext.erase(endpoint)) {
        result = {TransferError::Timeout, 0, "LIBUSB_ERROR_TIMEOUT"};
        return true;
    }
    if (m_halted.count(endpoint)) {
        result = stall();
        return true;
    }
    return false;
}

TransferResult FakeController::control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                       std::uint16_t index, std::uint8_t* data, std::size_t length, Milliseconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const bool in = (requestType & 0x80) != 0;
    ControlRecord record{requestType, request, value, index, {}};
    record.data = in || !data ? std::vector<std::uint8_t>(length, 0) : std::vector<std::uint8_t>(data, data + length);
    m_log.push_back(std::move(record));
    TransferResult result;
    if (faulted(0, result))
        return result;
    if ((requestType & 0x60) != 0x40)  // only vendor requests are scripted
        return stall();
    if (request == kFirmwareLoad)
        return firmwareLoad(in, value, data, length);
    // With the CPU held in reset or without firmware, nothing answers: the
    // request waits for its timeout.
    if (m_runs == Runs::Nothing || m_cpuReset)
        return {TransferError::Timeout, 0, "LIBUSB_ERROR_TIMEOUT"};
    if (m_runs == Runs::ForeignFirmware)
        return stall();
    return vendor(in, request, data, length);
}

TransferResult FakeController::firmwareLoad(bool in, std::uint16_t address, std::uint8_t* data, std::size_t length)
{
    const std::size_t end = std::size_t(address) + length;
    const bool internal = end <= kProgramRamEnd || (address >= kDataRamStart && end <= kDataRamEnd);
    if (address == kCpucs && length == 1) {
        if (in) {
            data[0] = m_cpuReset ? 1 : 0;
            return done(1);
        }
        const bool reset = (data[0] & 1) != 0;
        if (m_cpuReset && !reset) {
            m_releasedSinceAwait = true;
            m_runs = m_runsAfterRelease;
        }
        m_cpuReset = reset;
        return done(1);
    }
    if (!internal)
        return stall();
    if (in)
        std::memcpy(data, m_memory.data() + address, length);
    else
        std::memcpy(m_memory.data() + address, data, length);
    return done(length);
}

TransferResult FakeController::boardError(std::uint8_t request, std::uint8_t code)
{
    m_lastError = code;
    m_lastErrorRequest = request;
    return stall();
}

TransferResult FakeController::vendor(bool in, std::uint8_t request, std::uint8_t* data, std::size_t length)
{
    auto copyOut = [&](const std::uint8_t* from, std::size_t n) {
        n = std::min(n, length);
        std::memcpy(data, from, n);
        return done(n);
    };
    if (!in)
        return boardError(request, kErrUnknownRequest);
    switch (request) {
    case kGetError: {
        const std::uint8_t reply[kErrorReplySize] = {m_lastError, m_lastErrorRequest, 0, 0};
        m_lastError = m_lastErrorRequest = 0;
        return copyOut(reply, sizeof reply);
    }
    case kGetVersion: {
        const std::uint8_t reply[kVersionReplySize] = {
            kMagic0, kMagic1, kSupportedMajor, 0, std::uint8_t(m_caps), std::uint8_t(m_caps >> 8)};
        return copyOut(reply, sizeof reply);
    }
    case kIdentity: {
        // ID 7, class 3, firmware version 12, "Fake board".
        std::uint8_t reply[kIdentitySize] = {7, 0, 0, 0, 3, 12, 0};
        std::memcpy(reply + kIdentityNameOffset, "Fake board", 10);
        return copyOut(reply, sizeof reply);
    }
    case kFpgaPart: return copyOut(reinterpret_cast<const std::uint8_t*>("3s500e"), 7);
    default: break;
    }
    return boardError(request, kErrUnknownRequest);
}

TransferResult FakeController::loop(std::deque<std::uint8_t>& fifo, std::uint8_t endpoint, std::uint8_t* data,
                                    std::size_t length)
{
    TransferResult result;
    if (faulted(endpoint, result))
        return result;
    if (m_runs == Runs::Nothing || m_cpuReset)
        return {TransferError::Timeout, 0, "LIBUSB_ERROR_TIMEOUT"};
    if (endpoint & 0x80) {
        const std::size_t n = std::min(length, fifo.size());
        if (n == 0)
            return {TransferError::Timeout, 0, "LIBUSB_ERROR_TIMEOUT"};
        std::copy(fifo.begin(), fifo.begin() + long(n), data);
        fifo.erase(fifo.begin(), fifo.begin() + long(n));
        return done(n);
    }
    fifo.insert(fifo.end(), data, data + length);
    return done(length);
}

TransferResult FakeController::bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, Milliseconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return loop(m_bulk, endpoint, data, length);
}

TransferResult FakeController::interrupt(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, Milliseconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return loop(m_interrupt, endpoint, data, length);
}

TransferResult FakeController::clearHalt(std::uint8_t endpoint)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_unplugged)
        return {TransferError::NoDevice, 0, "LIBUSB_ERROR_NO_DEVICE"};
    m_halted.erase(endpoint);
    m_cleared.insert(endpoint);
    return done(0);
}

TransferResult FakeController::awaitReenumeration(Milliseconds, Milliseconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_unplugged || !m_releasedSinceAwait || m_afterRelease == AfterRelease::NeverComesBack) {
        m_unplugged = true;
        return {TransferError::Timeout, 0, "the device did not come back"};
    }
    m_releasedSinceAwait = false;
    if (m_afterRelease == AfterRelease::Reenumerates) {
        ++m_reenumerations;
        describeAs(m_runs);
    }
    return done(0);
}

namespace {

class FakeBackend : public kousb::Backend {
public:
    FakeBackend(std::shared_ptr<Transport> transport, int slot) : m_transport(std::move(transport)), m_slot(slot) {}
    bool start() override { return true; }
    int descriptor() const override { return -1; }
    void rescan(kousb::Registry& registry) override
    {
        if (!m_board) {
            m_board = std::make_shared<Fx2Board>(m_transport, [] { kousb::Library::instance().noteContentChange(); });
            m_token = registry.attach(m_board, m_slot);
        } else if (m_token != 0 && m_board->gone()) {
            registry.detach(m_token);
            m_token = 0;
        }
    }

private:
    std::shared_ptr<Transport> m_transport;
    int m_slot;
    std::shared_ptr<Fx2Board> m_board;
    kousb::Registry::Token m_token = 0;
};

}  // namespace

void installFakeBoard(std::shared_ptr<Transport> transport, int slot)
{
    kousb::Library::instance().addBackend(std::make_unique<FakeBackend>(std::move(transport), slot));
}
