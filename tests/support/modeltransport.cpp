// SPDX-License-Identifier: MIT
#include "modeltransport.h"

#include "backend.h"
#include "library.h"
#include "libusb/fx2board.h"
#include "registry.h"

#include <algorithm>
#include <vector>

using namespace kousb::usb;

ModelTransport::ModelTransport(std::shared_ptr<DeviceModel> model) : m_model(std::move(model)) {}

void ModelTransport::denyAccess()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_denied = true;
}

void ModelTransport::removeEndpoints(EndpointType type)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_removed.insert(type);
}

DeviceDescription ModelTransport::description() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceDescription d;
    d.vendorId = 0x04B4;
    d.productId = m_model->productId();
    d.deviceRelease = 0x0100;
    const bool full = m_model->fullSpeed();
    d.speed = full ? "full (12 Mbit/s)" : "high (480 Mbit/s)";
    d.bus = 1;
    d.portPath = {2};
    d.deviceAddress = m_address;
    d.configuration = 1;
    d.openError = m_denied ? TransferError::Access : TransferError::None;
    AltSettingDescription alt;
    alt.interfaceClass = 0xFF;
    if (d.productId != KOUSB_BOOT_PID)
        for (const EndpointDescription& ep : {EndpointDescription{0x81, EndpointType::Interrupt, 64},
                                              {0x01, EndpointType::Interrupt, 64},
                                              {0x02, EndpointType::Bulk, std::uint16_t(full ? 64 : 512)},
                                              {0x86, EndpointType::Bulk, std::uint16_t(full ? 64 : 512)}})
            if (!m_removed.count(ep.type))
                alt.endpoints.push_back(ep);
    d.altSettings = {alt};
    d.product = "Emulated lab board";
    return d;
}

TransferResult ModelTransport::resultOf(const ModelReply& reply)
{
    switch (reply.outcome) {
    case ModelReply::Done: return {TransferError::None, reply.actual, {}};
    case ModelReply::Stall: return {TransferError::Stall, reply.actual, "LIBUSB_ERROR_PIPE"};
    case ModelReply::Nak: return {TransferError::Timeout, 0, "LIBUSB_ERROR_TIMEOUT"};
    case ModelReply::Overflow: return {TransferError::Overflow, reply.actual, "LIBUSB_ERROR_OVERFLOW"};
    case ModelReply::Gone: break;
    }
    m_gone = true;
    return {TransferError::NoDevice, 0, "LIBUSB_ERROR_NO_DEVICE"};
}

// A transfer that never reaches the board: it has gone, or cannot be opened.
bool ModelTransport::refused(TransferResult& result)
{
    if (m_gone)
        result = resultOf({ModelReply::Gone, 0});
    else if (m_denied)
        result = {TransferError::Access, 0, "LIBUSB_ERROR_ACCESS"};
    else
        return false;
    return true;
}

TransferResult ModelTransport::control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                       std::uint16_t index, std::uint8_t* data, std::size_t length, Milliseconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    TransferResult r;
    if (refused(r))
        return r;
    const std::uint8_t setup[8] = {requestType,          request,
                                   std::uint8_t(value),  std::uint8_t(value >> 8),
                                   std::uint8_t(index),  std::uint8_t(index >> 8),
                                   std::uint8_t(length), std::uint8_t(length >> 8)};
    std::vector<std::uint8_t> stage(length);
    if (data && !(requestType & 0x80))
        std::copy(data, data + length, stage.begin());
    r = resultOf(m_model->control(setup, stage.data()));
    if (r.ok() && (requestType & 0x80) && data)
        std::copy(stage.begin(), stage.begin() + long(r.transferred), data);
    return r;
}

TransferResult ModelTransport::bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, Milliseconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    TransferResult r;
    return refused(r) ? r : resultOf(m_model->transfer(endpoint, false, data, length));
}

TransferResult ModelTransport::interrupt(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, Milliseconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    TransferResult r;
    return refused(r) ? r : resultOf(m_model->transfer(endpoint, true, data, length));
}

TransferResult ModelTransport::clearHalt(std::uint8_t endpoint)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_gone || !m_model->clearHalt(endpoint))
        return resultOf({ModelReply::Gone, 0});
    return {};
}

TransferResult ModelTransport::awaitReenumeration(Milliseconds, Milliseconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_model->takeRelease())
        ++m_address;
    if (m_gone || m_model->gone()) {
        m_gone = true;
        return {TransferError::Timeout, 0, "the device did not come back"};
    }
    return {};
}

namespace {

class TransportBackend : public kousb::Backend {
public:
    TransportBackend(std::shared_ptr<Transport> transport, int slot) : m_transport(std::move(transport)), m_slot(slot)
    {
    }
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

void installBoard(std::shared_ptr<Transport> transport, int slot)
{
    kousb::Library::instance().addBackend(std::make_unique<TransportBackend>(std::move(transport), slot));
}
