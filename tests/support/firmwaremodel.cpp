// SPDX-License-Identifier: MIT
#include "firmwaremodel.h"

#include "eepromlayout.h"

#include <algorithm>
#include <cstring>

namespace {

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

FirmwareModel::FirmwareModel(Starts starts, const fwmodel::Profile& profile, Speed speed)
    : m_profile(profile), m_board(std::make_unique<fwmodel::Board>())
{
    fwmodel::PowerOn how;
    how.profile = profile;
    how.fullSpeed = speed == Speed::Full;
    how.running = starts == Starts::RunningFirmware;
    fwmodel::powerOn(*m_board, how);
}

void FirmwareModel::writeIdentity(std::int32_t id, const std::string& name, std::uint8_t deviceClass)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::uint8_t* cells = m_board->eeprom.cells;
    std::vector<std::uint8_t> image(cells, cells + KOUSB_EEPROM_SIZE);
    kousb::eeprom::writeId(image, id);
    kousb::eeprom::writeName(image, name);
    kousb::eeprom::writeClass(image, deviceClass);
    std::copy(image.begin(), image.end(), cells);
}

int FirmwareModel::stalls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stalls;
}

std::vector<std::uint8_t> FirmwareModel::memory(std::size_t address, std::size_t length) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const fwmodel::Controller& c = m_board->controller;
    const std::uint8_t* at =
        address < KOUSB_PROGRAM_RAM_END ? c.programRam + address : c.dataRam + (address - KOUSB_DATA_RAM_START);
    return {at, at + length};
}

bool FirmwareModel::fullSpeed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_board->controller.fullSpeed;
}

std::uint16_t FirmwareModel::productId() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return fwmodel::productId(*m_board);
}

bool FirmwareModel::takeRelease()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return fwmodel::takeRelease(*m_board);
}

ModelReply FirmwareModel::control(const std::uint8_t* setup, std::uint8_t* data)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const ModelReply reply =
        (setup[0] & 0x60) == 0x00 ? standard(setup, data) : fwmodel::control(*m_board, setup, data);
    if (reply.outcome == ModelReply::Stall)
        ++m_stalls;
    return reply;
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
    const bool running = m_board->controller.running;
    auto reply = [&](const std::vector<std::uint8_t>& bytes) {
        const std::size_t n = std::min<std::size_t>(length, bytes.size());
        std::memcpy(data, bytes.data(), n);
        return done(n);
    };
    if (setup[0] == 0x00 && setup[1] == 0x09)
        return done(0);
    if (setup[0] == 0x80 && setup[1] == 0x06 && setup[3] == 1) {
        const std::uint16_t product = fwmodel::productId(*m_board);
        return reply({18, 1, 0x00, 0x02, 0, 0, 0, 64, 0xB4, 0x04, std::uint8_t(product), std::uint8_t(product >> 8),
                      0x00, 0x01, 1, 2, 0, 1});
    }
    if (setup[0] == 0x80 && setup[1] == 0x06 && setup[3] == 2)
        return reply({9, 2, 46, 0, 1,    1, 0,  0x80, 50, 9, 4, 0,    0, 4,    0xFF, 0, 0, 0, 7,    5, 0x81, 3,    64,
                      0, 1, 7,  5, 0x01, 3, 64, 0,    1,  7, 5, 0x02, 2, 0x00, 0x02, 0, 7, 5, 0x86, 2, 0x00, 0x02, 0});
    if (!running || setup[0] != 0x80 || setup[1] != 0x06 || setup[3] != 3)
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

ModelReply FirmwareModel::transfer(std::uint8_t endpoint, bool interrupt, std::uint8_t* data, std::size_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return fwmodel::transfer(*m_board, endpoint, interrupt, data, length);
}

bool FirmwareModel::clearHalt(std::uint8_t) { return true; }

std::shared_ptr<FirmwareModel> makeBoardModel(FirmwareModel::Starts starts)
{
    return std::make_shared<FirmwareModel>(starts, fwmodel::kFpgaProfile);
}
