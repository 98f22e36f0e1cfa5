#include "firmwaretransport.h"

#include "hostchips.h"

extern "C" {
#include "fw_core.h"
}

#include <algorithm>
#include <cstring>

using namespace kousb::usb;

namespace {

TransferResult done(std::size_t n) { return {TransferError::None, n, {}}; }

} // namespace

FirmwareTransport::FirmwareTransport(std::uint16_t capabilities, const char* fpgaPart)
{
    fwhost::resetBoard(capabilities, fpgaPart);
}

DeviceDescription FirmwareTransport::description() const
{
    DeviceDescription d;
    d.vendorId = KOUSB_FIRMWARE_VID;
    d.productId = KOUSB_FIRMWARE_PID;
    d.speed = "high (480 Mbit/s)";
    d.bus = 1;
    d.portPath = {1};
    d.configuration = 1;
    AltSettingDescription alt;
    alt.interfaceClass = 0xFF;
    alt.endpoints = {{0x01, EndpointType::Interrupt, 64}, {0x81, EndpointType::Interrupt, 64},
                     {0x02, EndpointType::Bulk, 512}, {0x86, EndpointType::Bulk, 512}};
    d.altSettings = {alt};
    return d;
}

TransferResult FirmwareTransport::control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                          std::uint16_t index, std::uint8_t* data, std::size_t length, Milliseconds)
{
    const bool in = (requestType & 0x80) != 0;
    std::size_t moved = 0;
    auto stall = [&] {
        ++m_stalls;
        return TransferResult{TransferError::Stall, moved, "LIBUSB_ERROR_PIPE"};
    };
    const fw_setup setup{requestType, request, value, index, std::uint16_t(length)};
    if (length > 0xFFFF || fw_setup_begin(&setup))
        return stall();
    const std::size_t total = in ? fw_reply_length() : length;
    while (moved < total) {
        const auto n = std::uint8_t(std::min<std::size_t>(FW_EP0_PACKET, total - moved));
        std::uint8_t packet[FW_EP0_PACKET];
        if (!in)
            std::memcpy(packet, data + moved, n);
        if (in ? fw_setup_in(packet, n) : fw_setup_out(packet, n))
            return stall();
        if (in)
            std::memcpy(data + moved, packet, n);
        moved += n;
    }
    if (fw_setup_end())
        return stall();
    return done(moved);
}

TransferResult FirmwareTransport::bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, Milliseconds)
{
    if (endpoint == 0x02) {
        for (std::size_t at = 0; at < length; at += FW_BULK_PACKET)
            fw_bulk_out(data + at, std::uint16_t(std::min<std::size_t>(FW_BULK_PACKET, length - at)));
        return done(length);
    }
    std::size_t moved = 0;
    while (moved < length) {
        std::uint8_t* buffer = m_inBuffers[m_inSlot];
        fw_bulk_in_fill(buffer, std::uint8_t(m_inSlot));
        m_inSlot ^= 1;
        if (length - moved < FW_BULK_PACKET)
            return {TransferError::Overflow, moved, "LIBUSB_ERROR_OVERFLOW"};
        std::memcpy(data + moved, buffer, FW_BULK_PACKET);
        moved += FW_BULK_PACKET;
    }
    return done(moved);
}

TransferResult FirmwareTransport::interrupt(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                                            Milliseconds)
{
    if (length < KOUSB_REPORT_SIZE)
        return {TransferError::Overflow, 0, "LIBUSB_ERROR_OVERFLOW"};
    if (endpoint & 0x80)
        fw_status_report(data);
    else
        fw_report_received(data);
    return done(KOUSB_REPORT_SIZE);
}

TransferResult FirmwareTransport::clearHalt(std::uint8_t) { return done(0); }

TransferResult FirmwareTransport::awaitReenumeration(Milliseconds, Milliseconds) { return done(0); }
