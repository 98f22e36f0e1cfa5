// SPDX-License-Identifier: MIT
// The board logic: identity and endpoint description, the controller's
// memory through 0xA0, the bulk and interrupt endpoints, and the vendor
// requests of the board protocol for the other access paths.
#include "fx2board.h"

#include "firmwareprobe.h"
#include "protocol.h"
#include "transferstatus.h"
#include "usbids.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kousb::usb {

using namespace protocol;

namespace {

std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

std::string hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value & 0xFFFF);
    return text;
}

const char* typeName(EndpointType type)
{
    switch (type) {
    case EndpointType::Control: return "control";
    case EndpointType::Isochronous: return "isochronous";
    case EndpointType::Bulk: return "bulk";
    case EndpointType::Interrupt: return "interrupt";
    }
    return "?";
}

std::string capabilityList(std::uint16_t caps)
{
    static const std::pair<std::uint16_t, const char*> names[] = {
        {kCapExternal, "external bus"},
        {kCapFpgaRegister, "FPGA registers"},
        {kCapI2C, "I2C"},
        {kCapSpi, "SPI"},
        {kCapUart, "UART"},
        {kCapCommand, "command"},
        {kCapFpgaConfig, "FPGA configuration"},
        {kCapEeprom, "EEPROM"},
        {kCapIdentityWrite, "identity"},
    };
    std::string text;
    for (const auto& [bit, name] : names)
        if (caps & bit)
            text += (text.empty() ? "" : ", ") + std::string(name);
    return text.empty() ? "none" : text;
}

}  // namespace

Fx2Board::Fx2Board(std::shared_ptr<Transport> transport, std::function<void()> onChange)
    : m_transport(std::move(transport)), m_onChange(std::move(onChange))
{
    m_staging.reserve(kMaxBlockBytes);
    probe();
}

void Fx2Board::probe(bool firmwareLoaded)
{
    m_changesSeen = m_transport->changeCount();
    m_description = m_transport->description();
    m_ourFirmware = false;
    m_capabilities = 0;
    m_protocolMajor = m_protocolMinor = 0;
    m_fpgaPart.clear();
    m_identity = BoardIdentity{};
    if (m_description.openError == TransferError::Access) {
        m_accessDenied = true;
        m_identity.name = "No access (udev rule missing)";
        return;
    }
    const FirmwareProbe firmware = probeFirmware(*m_transport, m_description, firmwareLoaded);
    switch (firmware.kind) {
    case FirmwareProbe::Kind::BootState: m_identity.name = "No firmware (boot state)"; return;
    case FirmwareProbe::Kind::Gone: m_gone = true; return;
    case FirmwareProbe::Kind::Other:
    case FirmwareProbe::Kind::Silent:
        m_identity.name = firmwareLoaded ? "Firmware loaded, not answering"
                                         : "Unknown firmware (" + hex4(m_description.vendorId) + ":"
                                               + hex4(m_description.productId) + ")";
        return;
    case FirmwareProbe::Kind::OtherProtocol:
        m_protocolMajor = firmware.major;
        m_protocolMinor = firmware.minor;
        m_identity.name = "Firmware of protocol " + std::to_string(m_protocolMajor) + " (needs "
                          + std::to_string(kSupportedMajor) + ")";
        return;
    case FirmwareProbe::Kind::Ours: break;
    }
    m_protocolMajor = firmware.major;
    m_protocolMinor = firmware.minor;
    m_ourFirmware = true;
    m_capabilities = firmware.capabilities;
    readIdentity();
    std::uint8_t part[32] = {};
    std::size_t got = 0;
    if (vendorRequest(true, kFpgaPart, 0, 0, part, sizeof part, got))
        m_fpgaPart.assign(reinterpret_cast<const char*>(part), strnlen(reinterpret_cast<const char*>(part), got));
}

Status Fx2Board::readIdentity()
{
    std::uint8_t reply[kIdentitySize] = {};
    if (Status s = vendorIn(kIdentity, 0, 0, reply, sizeof reply); !s)
        return s;
    m_identity.id = std::int32_t(std::uint32_t(reply[0]) | std::uint32_t(reply[1]) << 8 | std::uint32_t(reply[2]) << 16
                                 | std::uint32_t(reply[3]) << 24);
    m_identity.deviceClass = reply[4];
    m_identity.firmwareVersion = le16(reply + 5);
    const char* name = reinterpret_cast<const char*>(reply + kIdentityNameOffset);
    m_identity.name.assign(name, strnlen(name, kIdentityNameSize));
    m_changesSeen = m_transport->changeCount();
    return Status::ok();
}

Status Fx2Board::checkPlugged() const
{
    if (m_gone)
        return Status::error(ErrorCode::Unplugged);
    if (m_accessDenied)
        return Status::error(ErrorCode::AccessDenied, kUdevAdvice);
    return Status::ok();
}

Status Fx2Board::failed(const TransferResult& result, const std::string& context)
{
    if (result.error == TransferError::NoDevice)
        m_gone = true;
    return transferStatus(result, context);
}

Status Fx2Board::requireCapability(std::uint8_t request, bool in) const
{
    const RequestInfo& info = requestInfo(request, in);
    if (info.capability == 0 || (m_ourFirmware && (m_capabilities & info.capability)))
        return Status::ok();
    return Status::error(ErrorCode::NotSupported, std::string("this board's firmware does not support ") + info.name);
}

Status Fx2Board::vendorRequest(bool in, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                               std::uint8_t* data, std::size_t length, std::size_t& transferred, Milliseconds timeout)
{
    const RequestInfo& info = requestInfo(request, in);
    transferred = 0;
    if (Status s = checkPlugged(); !s)
        return s;
    if (Status s = requireCapability(request, in); !s)
        return s;
    const TransferResult r = m_transport->control(in ? kVendorIn : kVendorOut, request, value, index, data, length,
                                                  timeout.count() > 0 ? timeout : info.timeout);
    transferred = r.transferred;
    if (r.error == TransferError::Stall) {
        // The board refused the request; its error reply says why. A control
        // endpoint's stall ends with the next setup packet, so nothing to clear.
        std::uint8_t reply[kErrorReplySize] = {};
        const TransferResult e =
            m_transport->control(kVendorIn, kGetError, 0, 0, reply, sizeof reply, requestInfo(kGetError, true).timeout);
        m_errorDetail = le16(reply + 2);
        if (e.ok() && e.transferred == sizeof reply && reply[0] != kErrNone)
            return boardErrorStatus(reply[0], info.name);
        if (e.error == TransferError::NoDevice)
            return failed(e, info.name);
    }
    if (!r.ok())
        return failed(r, info.name);
    return Status::ok();
}

Status Fx2Board::vendorOut(std::uint8_t request, std::uint16_t value, std::uint16_t index, const std::uint8_t* data,
                           std::size_t length, Milliseconds timeout)
{
    std::size_t sent = 0;
    // The transport does not write through `data` on an OUT transfer.
    if (Status s = vendorRequest(false, request, value, index, const_cast<std::uint8_t*>(data), length, sent, timeout);
        !s)
        return s;
    if (sent != length)
        return Status::error(ErrorCode::Io, std::string(requestInfo(request, false).name) + ": the board took "
                                                + std::to_string(sent) + " of " + std::to_string(length) + " bytes");
    return Status::ok();
}

Status Fx2Board::vendorIn(std::uint8_t request, std::uint16_t value, std::uint16_t index, std::uint8_t* data,
                          std::size_t length)
{
    m_staging.resize(length);
    std::size_t got = 0;
    if (Status s = vendorRequest(true, request, value, index, m_staging.data(), length, got); !s)
        return s;
    if (got != length)
        return Status::error(ErrorCode::Io, std::string(requestInfo(request, true).name) + ": the board answered "
                                                + std::to_string(got) + " of " + std::to_string(length) + " bytes");
    std::copy_n(m_staging.data(), length, data);  // copy_n: `data` may be null when length is 0
    return Status::ok();
}

Status Fx2Board::addressedRead(std::uint8_t request, std::uint16_t address, std::uint8_t* data, std::size_t length)
{
    if (address + length > 0x10000)
        return Status::error(ErrorCode::OutOfRange,
                             std::string(requestInfo(request, true).name) + ": past the end of the 64 KiB space");
    if (length == 0)
        return checkPlugged() ? requireCapability(request, true) : checkPlugged();
    // Everything is read before the caller's buffer is touched.
    std::vector<std::uint8_t> all(length);
    for (std::size_t done = 0; done < length; done += kMaxRequestData) {
        const std::size_t n = std::min(kMaxRequestData, length - done);
        if (Status s = vendorIn(request, std::uint16_t(address + done), 0, all.data() + done, n); !s)
            return s;
    }
    std::copy_n(all.data(), length, data);
    return Status::ok();
}

Status Fx2Board::addressedWrite(std::uint8_t request, std::uint16_t address, const std::uint8_t* data,
                                std::size_t length)
{
    if (address + length > 0x10000)
        return Status::error(ErrorCode::OutOfRange,
                             std::string(requestInfo(request, false).name) + ": past the end of the 64 KiB space");
    if (length == 0)
        return checkPlugged() ? requireCapability(request, false) : checkPlugged();
    for (std::size_t done = 0; done < length; done += kMaxRequestData) {
        const std::size_t n = std::min(kMaxRequestData, length - done);
        if (Status s = vendorOut(request, std::uint16_t(address + done), 0, data + done, n); !s)
            return s;
    }
    return Status::ok();
}

// What the board said when last read, read again first if its transport
// says the device may show something new.
BoardIdentity Fx2Board::identity()
{
    if (!m_gone && m_transport->changeCount() != m_changesSeen)
        reloadIdentity();
    return m_identity;
}

// Only our firmware has an identity to read; the others' is made up by
// probe(), which runs again when the device now enumerates as another
// (another program loaded firmware into a simulated board).
Status Fx2Board::reloadIdentity()
{
    if (Status s = checkPlugged(); !s)
        return s;
    m_changesSeen = m_transport->changeCount();
    const DeviceDescription now = m_transport->description();
    if (now.vendorId != m_description.vendorId || now.productId != m_description.productId) {
        probe();
        return checkPlugged();
    }
    return m_ourFirmware ? readIdentity() : Status::ok();
}

std::string Fx2Board::place() { return usbPlace(m_description.bus, m_description.portPath); }

std::string Fx2Board::serial() { return m_description.serial; }

std::string Fx2Board::endpointInfo()
{
    const DeviceDescription& d = m_description;
    std::string text = m_transport->note() + "USB board " + hex4(d.vendorId) + ":" + hex4(d.productId) + ", release "
                       + hex4(d.deviceRelease) + (d.product.empty() ? "" : " (" + d.product + ")") + "\n";
    std::string port;
    for (std::uint8_t p : d.portPath)
        port += (port.empty() ? "" : ".") + std::to_string(p);
    text += "Speed: " + (d.speed.empty() ? std::string("unknown") : d.speed) + "\n";
    text += "Bus " + std::to_string(d.bus) + ", port " + (port.empty() ? "?" : port) + ", address "
            + std::to_string(d.deviceAddress) + ", configuration " + std::to_string(d.configuration) + "\n";
    if (m_gone)
        text += "State: unplugged\n";
    else if (m_accessDenied)
        text += std::string("State: ") + kUdevAdvice + "\n";
    else if (m_ourFirmware)
        text += "Firmware: ours, protocol " + std::to_string(m_protocolMajor) + "." + std::to_string(m_protocolMinor)
                + "; serves " + capabilityList(m_capabilities) + "\n";
    else
        text += "Firmware: none of ours; controller memory, firmware loading and the endpoints only\n";
    if (!m_fpgaPart.empty())
        text += "FPGA: " + m_fpgaPart + "\n";
    text += "Endpoints:\n";
    for (const AltSettingDescription& alt : d.altSettings) {
        text += "  interface " + std::to_string(alt.interfaceNumber) + ", alternate setting "
                + std::to_string(alt.alternateSetting) + ", class " + std::to_string(alt.interfaceClass) + "\n";
        for (const EndpointDescription& ep : alt.endpoints)
            text += "    " + endpointName(ep.address) + (ep.isIn() ? "  in   " : "  out  ") + typeName(ep.type)
                    + ", max packet " + std::to_string(ep.maxPacketSize) + "\n";
    }
    const EndpointDescription* in = firstEndpoint(EndpointType::Bulk, true);
    const EndpointDescription* out = firstEndpoint(EndpointType::Bulk, false);
    text += "Block: " + (in ? "bulk in " + endpointName(in->address) : std::string("no bulk in")) + ", "
            + (out ? "bulk out " + endpointName(out->address) : std::string("no bulk out")) + ", timeout "
            + std::to_string(kBlockTimeout.count()) + " ms";
    return text;
}

const EndpointDescription* Fx2Board::firstEndpoint(EndpointType type, bool in) const
{
    // Only the default alternate settings are active; the backend selects no other.
    for (const AltSettingDescription& alt : m_description.altSettings)
        if (alt.alternateSetting == 0)
            for (const EndpointDescription& ep : alt.endpoints)
                if (ep.type == type && ep.isIn() == in)
                    return &ep;
    return nullptr;
}

Status Fx2Board::endpointTransfer(EndpointType type, bool in, std::uint8_t* data, std::size_t length,
                                  const char* operation, std::size_t needed)
{
    if (needed == 0)
        needed = length;
    if (Status s = checkPlugged(); !s)
        return s;
    const EndpointDescription* ep = firstEndpoint(type, in);
    if (!ep)
        return Status::error(ErrorCode::NotSupported,
                             std::string("this board has no ") + typeName(type) + (in ? " in" : " out") + " endpoint");
    const std::string context = std::string(operation) + " on endpoint " + endpointName(ep->address);
    const TransferResult r = type == EndpointType::Bulk
                                 ? m_transport->bulk(ep->address, data, length, kBlockTimeout)
                                 : m_transport->interrupt(ep->address, data, length, kInterruptTimeout);
    if (r.error == TransferError::Stall) {
        const TransferResult cleared = m_transport->clearHalt(ep->address);
        Status s = transferStatus(r, context);
        return Status::error(s.code(),
                             s.detail() + (cleared.ok() ? "; the stall was cleared" : "; clearing the stall failed"));
    }
    if (!r.ok())
        return failed(r, context + " (" + std::to_string(r.transferred) + " of " + std::to_string(length) + " bytes)");
    if (r.transferred < needed && type == EndpointType::Bulk)
        return Status::error(
            ErrorCode::Io, context + ": " + std::to_string(r.transferred) + " of " + std::to_string(needed) + " bytes");
    return Status::ok();
}

std::size_t Fx2Board::packetSize(EndpointType type, bool in) const
{
    // Bits 10..0 of wMaxPacketSize are the size (USB 2.0, 9.6.6).
    const EndpointDescription* ep = firstEndpoint(type, in);
    return ep ? ep->maxPacketSize & 0x7FFu : 0;
}

Status Fx2Board::readBlock(std::uint8_t* data, std::size_t length)
{
    if (length > kMaxBlockBytes)
        return Status::error(ErrorCode::InvalidArgument, "at most 65536 bytes per block transfer");
    // A board sends whole packets of the size its descriptor gives for the
    // speed it runs at (512 or 64 bytes for ours); asking for less than a
    // packet would make a full one overflow the transfer, so the read is
    // rounded up to whole packets and the caller gets the first `length` bytes.
    const std::size_t packet = std::max<std::size_t>(packetSize(EndpointType::Bulk, true), 1);
    const std::size_t asked = (length + packet - 1) / packet * packet;
    m_staging.resize(asked);
    if (Status s = endpointTransfer(EndpointType::Bulk, true, m_staging.data(), asked, "ReadBlock", length); !s)
        return s;
    std::copy_n(m_staging.data(), length, data);
    return Status::ok();
}

Status Fx2Board::writeBlock(const std::uint8_t* data, std::size_t length)
{
    if (length > kMaxBlockBytes)
        return Status::error(ErrorCode::InvalidArgument, "at most 65536 bytes per block transfer");
    if (Status s = endpointTransfer(EndpointType::Bulk, false, const_cast<std::uint8_t*>(data), length, "WriteBlock");
        !s)
        return s;
    // Our firmware tells a write's end by its short last packet, so a write
    // of whole packets is ended with a zero-length one.
    const std::size_t packet = packetSize(EndpointType::Bulk, false);
    if (!m_ourFirmware || length == 0 || packet == 0 || length % packet != 0)
        return Status::ok();
    std::uint8_t none = 0;
    return endpointTransfer(EndpointType::Bulk, false, &none, 0, "WriteBlock");
}

// A report shorter than kInterruptReportSize is padded with zeros.
Status Fx2Board::readInterrupt(std::uint8_t* report)
{
    std::uint8_t buffer[kInterruptReportSize] = {};
    if (Status s = endpointTransfer(EndpointType::Interrupt, true, buffer, sizeof buffer, "ReadInterrupt"); !s)
        return s;
    std::memcpy(report, buffer, sizeof buffer);
    return Status::ok();
}

Status Fx2Board::writeInterrupt(const std::uint8_t* report)
{
    return endpointTransfer(EndpointType::Interrupt, false, const_cast<std::uint8_t*>(report), kInterruptReportSize,
                            "WriteInterrupt");
}

Status Fx2Board::loaderStatus(Status status)
{
    if (status.code() == ErrorCode::Unplugged)
        m_gone = true;
    return status;
}

Status Fx2Board::read8051(std::uint16_t address, std::uint8_t* data, std::size_t length)
{
    if (Status s = checkPlugged(); !s)
        return s;
    if (!Fx2Loader::reachable(address, length))
        return Status::error(ErrorCode::OutOfRange, Fx2Loader::kReach);
    std::vector<std::uint8_t> bytes(length);
    if (Status s = loaderStatus(m_loader.read(address, bytes.data(), length)); !s)
        return s;
    std::copy(bytes.begin(), bytes.end(), data);
    return Status::ok();
}

// Letting the CPU out of reset through CPUCS starts whatever is in its
// memory, and the board may re-enumerate: that goes through the loader,
// which follows the board to its new address, as a firmware load does.
Status Fx2Board::write8051(std::uint16_t address, const std::uint8_t* data, std::size_t length)
{
    if (Status s = checkPlugged(); !s)
        return s;
    if (!Fx2Loader::reachable(address, length))
        return Status::error(ErrorCode::OutOfRange, Fx2Loader::kReach);
    if (address == kCpucs && length == 1 && (data[0] & kCpuReset) == 0) {
        bool inReset = false;
        if (Status s = loaderStatus(m_loader.cpuInReset(inReset)); !s)
            return s;
        if (inReset) {
            bool gone = false;
            Status started = m_loader.startCpu(gone, kBackWithin);
            return followRestart(std::move(started), gone);
        }
    }
    return loaderStatus(m_loader.write(address, data, length));
}

Status Fx2Board::readExternal(std::uint16_t address, std::uint8_t* data, std::size_t length)
{
    return addressedRead(kExternal, address, data, length);
}

Status Fx2Board::writeExternal(std::uint16_t address, const std::uint8_t* data, std::size_t length)
{
    return addressedWrite(kExternal, address, data, length);
}

Status Fx2Board::readXilinx(std::uint16_t address, std::uint8_t* data, std::size_t length)
{
    return addressedRead(kFpgaRegister, address, data, length);
}

Status Fx2Board::writeXilinx(std::uint16_t address, const std::uint8_t* data, std::size_t length)
{
    return addressedWrite(kFpgaRegister, address, data, length);
}

namespace {

Status checkBusLength(std::size_t length, const char* operation)
{
    if (length > kMaxRequestData)
        return Status::error(ErrorCode::InvalidArgument, std::string(operation) + ": at most "
                                                             + std::to_string(kMaxRequestData) + " bytes per call");
    return Status::ok();
}

std::uint16_t spiLow(std::int32_t address) { return std::uint16_t(std::uint32_t(address) & 0xFFFF); }
std::uint16_t spiHigh(std::int32_t address) { return std::uint16_t(std::uint32_t(address) >> 16); }

std::string hexByte(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

Status checkI2cAddress(std::uint8_t address)
{
    if (address > 0x7F)
        return Status::error(ErrorCode::InvalidArgument, hexByte(address) + " is not a 7-bit I2C address");
    return Status::ok();
}

// The board's refusal names the device nobody answered at.
Status i2cStatus(Status status, std::uint8_t address)
{
    if (status.code() == ErrorCode::NoAcknowledge)
        return Status::error(ErrorCode::NoAcknowledge, "I2C address " + hexByte(address));
    return status;
}

}  // namespace

// An SPI address out of range: the board said how large its flash is (log2 of
// its bytes in the error reply's detail).
Status Fx2Board::spiStatus(Status status, std::int32_t address, std::size_t length) const
{
    if (status.code() != ErrorCode::OutOfRange || m_errorDetail < 10 || m_errorDetail > 31)
        return status;
    char range[96];
    std::snprintf(range, sizeof range, "the SPI flash holds bytes 0x000000 to 0x%06lX, not %zu at %ld",
                  (1ul << m_errorDetail) - 1, length, static_cast<long>(address));
    return Status::error(ErrorCode::OutOfRange, range);
}

// One I2C, SPI or UART transaction per call, so these are not split.
Status Fx2Board::readI2C(std::uint8_t address, std::uint8_t* data, std::size_t length)
{
    if (Status s = checkBusLength(length, "I2C"); !s)
        return s;
    if (Status s = checkI2cAddress(address); !s)
        return s;
    return i2cStatus(vendorIn(kI2C, address, 0, data, length), address);
}

Status Fx2Board::writeI2C(std::uint8_t address, const std::uint8_t* data, std::size_t length)
{
    if (Status s = checkBusLength(length, "I2C"); !s)
        return s;
    if (Status s = checkI2cAddress(address); !s)
        return s;
    return i2cStatus(vendorOut(kI2C, address, 0, data, length), address);
}

Status Fx2Board::readSPI(std::int32_t address, std::uint8_t* data, std::size_t length)
{
    if (Status s = checkBusLength(length, "SPI"); !s)
        return s;
    return spiStatus(vendorIn(kSpi, spiLow(address), spiHigh(address), data, length), address, length);
}

Status Fx2Board::writeSPI(std::int32_t address, const std::uint8_t* data, std::size_t length)
{
    if (Status s = checkBusLength(length, "SPI"); !s)
        return s;
    return spiStatus(vendorOut(kSpi, spiLow(address), spiHigh(address), data, length), address, length);
}

Status Fx2Board::readSerial(std::uint8_t* data, std::size_t length, std::size_t& received)
{
    received = 0;
    if (Status s = checkBusLength(length, "UART"); !s)
        return s;
    // The board answers with what its receive buffer holds, possibly less.
    m_staging.resize(length);
    std::size_t got = 0;
    if (Status s = vendorRequest(true, kUart, 0, 0, m_staging.data(), length, got); !s)
        return s;
    std::copy_n(m_staging.data(), got, data);
    received = got;
    return Status::ok();
}

Status Fx2Board::writeSerial(const std::uint8_t* data, std::size_t length)
{
    if (Status s = checkBusLength(length, "UART"); !s)
        return s;
    return vendorOut(kUart, 0, 0, data, length);
}

Status Fx2Board::writeCommand(const std::uint8_t* data, std::size_t length)
{
    if (Status s = checkBusLength(length, "the command pipe"); !s)
        return s;
    return vendorOut(kCommand, 0, 0, data, length);
}

}  // namespace kousb::usb
