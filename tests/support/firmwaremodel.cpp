// SPDX-License-Identifier: MIT
#include "firmwaremodel.h"

#include "eepromlayout.h"
#include "hostchips.h"
#include "libusb/protocol.h"
#include "profilecaps.h"

extern "C" {
#include "fw_core.h"
}

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

using namespace kousb::usb::protocol;

namespace {

// The core, the chip models and which model owns them. Every model takes
// this lock: umockdev's thread asks while the test thread looks.
std::mutex g_coreMutex;
const FirmwareModel* g_owner = nullptr;

constexpr std::uint16_t kBootProductId = 0x8613;

ModelReply done(std::size_t n) { return {ModelReply::Done, n}; }

// `text` as a string descriptor (UTF-16LE), as the chip layer builds it.
std::vector<std::uint8_t> stringDescriptor(const std::string& text)
{
    std::vector<std::uint8_t> out{std::uint8_t(2 + 2 * text.size()), 3};
    for (char c : text) {
        out.push_back(std::uint8_t(c));
        out.push_back(0);
    }
    return out;
}

}  // namespace

FirmwareModel::FirmwareModel(Starts starts, const ProfileCaps& profile, Speed speed)
    : m_profile(profile)
    , m_packet(speed == Speed::Full ? FW_BULK_PACKET_FULL_SPEED : FW_BULK_PACKET)
    , m_running(starts == Starts::RunningFirmware)
{
    std::lock_guard<std::mutex> lock(g_coreMutex);
    g_owner = this;
    fwhost::resetBoard(profile.capabilities, profile.fpgaPart);
    fw_bulk_reset(m_packet);
}

void FirmwareModel::startFirmware()
{
    fw_init(m_profile.capabilities, m_profile.fpgaPart);
    fw_bulk_reset(m_packet);
}

FirmwareModel::~FirmwareModel()
{
    std::lock_guard<std::mutex> lock(g_coreMutex);
    if (g_owner == this)
        g_owner = nullptr;
}

bool FirmwareModel::ownsCore() const { return g_owner == this; }

void FirmwareModel::writeIdentity(std::int32_t id, const std::string& name, std::uint8_t deviceClass)
{
    std::lock_guard<std::mutex> lock(g_coreMutex);
    std::vector<std::uint8_t>& eeprom = fwhost::chips().eeprom;
    kousb::eeprom::writeId(eeprom, id);
    kousb::eeprom::writeName(eeprom, name);
    kousb::eeprom::writeClass(eeprom, deviceClass);
}

int FirmwareModel::stalls() const
{
    std::lock_guard<std::mutex> lock(g_coreMutex);
    return m_stalls;
}

std::vector<std::uint8_t> FirmwareModel::memory(std::size_t address, std::size_t length) const
{
    std::lock_guard<std::mutex> lock(g_coreMutex);
    return {m_ram.begin() + long(address), m_ram.begin() + long(address + length)};
}

bool FirmwareModel::fullSpeed() const { return m_packet == FW_BULK_PACKET_FULL_SPEED; }

std::uint16_t FirmwareModel::productId() const
{
    std::lock_guard<std::mutex> lock(g_coreMutex);
    return m_running ? KOUSB_FIRMWARE_PID : kBootProductId;
}

bool FirmwareModel::takeRelease()
{
    std::lock_guard<std::mutex> lock(g_coreMutex);
    return std::exchange(m_released, false);
}

ModelReply FirmwareModel::control(const std::uint8_t* setup, std::uint8_t* data)
{
    std::lock_guard<std::mutex> lock(g_coreMutex);
    if (!ownsCore())
        return {ModelReply::Gone, 0};
    ModelReply reply;
    const std::uint16_t value = std::uint16_t(setup[2] | setup[3] << 8);
    const std::uint16_t length = std::uint16_t(setup[6] | setup[7] << 8);
    if ((setup[0] & 0x60) != 0x40)
        reply = standard(setup, data);
    else if (setup[1] == kFirmwareLoad)  // the controller's own loader: answers whatever runs
        reply = bootLoader((setup[0] & 0x80) != 0, value, data, length);
    else if (!m_running || m_cpuReset)  // nothing answers: the host waits for its timeout
        reply = {ModelReply::Nak, 0};
    else
        reply = firmware(setup, data);
    if (reply.outcome == ModelReply::Stall)
        ++m_stalls;
    return reply;
}

ModelReply FirmwareModel::bootLoader(bool in, std::uint16_t address, std::uint8_t* data, std::size_t length)
{
    if (address == kCpucs && length == 1) {
        if (in) {
            data[0] = m_cpuReset ? 1 : 0;
            return done(1);
        }
        const bool reset = (data[0] & 1) != 0;
        if (m_cpuReset && !reset) {
            // The loaded code starts: our firmware, on the chips as they are.
            m_running = true;
            m_released = true;
            startFirmware();
        }
        m_cpuReset = reset;
        return done(1);
    }
    const std::size_t end = std::size_t(address) + length;
    if (!(end <= kProgramRamEnd || (address >= kDataRamStart && end <= kDataRamEnd)))
        return {ModelReply::Stall, 0};
    if (in)
        std::memcpy(data, m_ram.data() + address, length);
    else
        std::memcpy(m_ram.data() + address, data, length);
    return done(length);
}

ModelReply FirmwareModel::standard(const std::uint8_t* setup, std::uint8_t* data)
{
    // The device and configuration descriptors (vendor 04b4, the product ID
    // of the state the board is in; interface 0 with EP1 IN/OUT interrupt 64,
    // EP2 OUT and EP6 IN bulk 512) and SET_CONFIGURATION, which the bus uses
    // when the board arrives; GET_DESCRIPTOR(string) as our firmware's chip
    // layer answers it (the boot state has no strings). The rest of the
    // standard requests libusb sends as ioctls of their own.
    const std::uint16_t length = std::uint16_t(setup[6] | setup[7] << 8);
    auto reply = [&](const std::vector<std::uint8_t>& bytes) {
        const std::size_t n = std::min<std::size_t>(length, bytes.size());
        std::memcpy(data, bytes.data(), n);
        return done(n);
    };
    if (setup[0] == 0x00 && setup[1] == 0x09)
        return done(0);
    if (setup[0] == 0x80 && setup[1] == 0x06 && setup[3] == 1) {
        const std::uint16_t product = m_running ? KOUSB_FIRMWARE_PID : kBootProductId;
        return reply({18, 1, 0x00, 0x02, 0, 0, 0, 64, 0xB4, 0x04, std::uint8_t(product), std::uint8_t(product >> 8),
                      0x00, 0x01, 1, 2, 0, 1});
    }
    if (setup[0] == 0x80 && setup[1] == 0x06 && setup[3] == 2)
        return reply({9, 2, 46, 0, 1,    1, 0,  0x80, 50, 9, 4, 0,    0, 4,    0xFF, 0, 0, 0, 7,    5, 0x81, 3,    64,
                      0, 1, 7,  5, 0x01, 3, 64, 0,    1,  7, 5, 0x02, 2, 0x00, 0x02, 0, 7, 5, 0x86, 2, 0x00, 0x02, 0});
    if (!m_running || setup[0] != 0x80 || setup[1] != 0x06 || setup[3] != 3)
        return {ModelReply::Stall, 0};
    std::vector<std::uint8_t> text;
    switch (setup[2]) {
    case 0: text = {4, 3, 0x09, 0x04}; break;  // US English
    case 1: text = stringDescriptor("USB Device Manager"); break;
    case 2: text = stringDescriptor(m_profile.name); break;
    default: return {ModelReply::Stall, 0};
    }
    return reply(text);
}

ModelReply FirmwareModel::firmware(const std::uint8_t* setup, std::uint8_t* data)
{
    const bool in = (setup[0] & 0x80) != 0;
    const fw_setup request{setup[0], setup[1], std::uint16_t(setup[2] | setup[3] << 8),
                           std::uint16_t(setup[4] | setup[5] << 8), std::uint16_t(setup[6] | setup[7] << 8)};
    std::size_t moved = 0;
    if (fw_setup_begin(&request))
        return {ModelReply::Stall, moved};
    const std::size_t total = in ? fw_reply_length() : request.length;
    while (moved < total) {
        const auto n = std::uint8_t(std::min<std::size_t>(FW_EP0_PACKET, total - moved));
        std::uint8_t packet[FW_EP0_PACKET];
        if (!in)
            std::memcpy(packet, data + moved, n);
        if (in ? fw_setup_in(packet, n) : fw_setup_out(packet, n))
            return {ModelReply::Stall, moved};
        if (in)
            std::memcpy(data + moved, packet, n);
        moved += n;
    }
    if (fw_setup_end())
        return {ModelReply::Stall, moved};
    return done(moved);
}

ModelReply FirmwareModel::transfer(std::uint8_t endpoint, bool interrupt, std::uint8_t* data, std::size_t length)
{
    std::lock_guard<std::mutex> lock(g_coreMutex);
    if (!ownsCore())
        return {ModelReply::Gone, 0};
    if (!m_running || m_cpuReset)
        return {ModelReply::Nak, 0};
    if (!interrupt)
        return bulk(endpoint, data, length);
    if (endpoint != 0x81 && endpoint != 0x01)
        return {ModelReply::Stall, 0};
    if (length < KOUSB_REPORT_SIZE)
        return {ModelReply::Overflow, 0};
    if (endpoint & 0x80)
        fw_status_report(data);
    else
        fw_report_received(data);
    return done(KOUSB_REPORT_SIZE);
}

ModelReply FirmwareModel::bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length)
{
    if (endpoint == 0x02) {
        // Packet by packet; a transfer of whole packets has no short one at its end.
        std::size_t at = 0;
        do {
            const std::size_t n = std::min<std::size_t>(m_packet, length - at);
            fw_bulk_out(data + at, std::uint16_t(n));
            at += n;
        } while (at < length);
        return done(length);
    }
    if (endpoint != 0x86)
        return {ModelReply::Stall, 0};
    // Every IN packet is a whole one, from the controller's double buffer.
    std::size_t moved = 0;
    while (moved < length) {
        std::uint8_t* buffer = m_inBuffers[m_inSlot];
        fw_bulk_in_fill(buffer, std::uint8_t(m_inSlot));
        m_inSlot ^= 1;
        if (length - moved < m_packet)
            return {ModelReply::Overflow, moved};
        std::memcpy(data + moved, buffer, m_packet);
        moved += m_packet;
    }
    return done(moved);
}

bool FirmwareModel::clearHalt(std::uint8_t)
{
    std::lock_guard<std::mutex> lock(g_coreMutex);
    return ownsCore();
}

std::shared_ptr<FirmwareModel> makeBoardModel(FirmwareModel::Starts starts)
{
    return std::make_shared<FirmwareModel>(starts, kFpgaProfile);
}
