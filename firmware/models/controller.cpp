// SPDX-License-Identifier: MIT
#include "controller.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace fwmodel {

namespace {

Reply done(std::size_t n) { return {Reply::Done, n}; }

void copyName(char (&to)[kNameSize], const char* name) { std::snprintf(to, sizeof to, "%s", name ? name : ""); }

std::uint16_t bulkPacket(const Board& b) { return b.controller.fullSpeed ? FW_BULK_PACKET_FULL_SPEED : FW_BULK_PACKET; }

// The firmware starts on the chips as they are.
void startFirmware(Board& b)
{
    Controller& c = b.controller;
    Bind bind(b);
    fw_version_from_eeprom(c.versionFromEeprom);
    fw_init(c.capabilities, c.fpgaPart);
    fw_bulk_reset(bulkPacket(b));
}

// A transfer begins: what the chips did in the one before is over (the
// carrier charged that transfer the time, an EEPROM write cycle included).
void beginTransfer(Board& b)
{
    b.busyNs = 0;
    b.eeprom.busyPolls = 0;
}

Reply loader(Board& b, bool in, std::uint16_t address, std::uint8_t* data, std::size_t length)
{
    Controller& c = b.controller;
    if (address == KOUSB_CPUCS && length == 1) {
        if (in) {
            data[0] = c.cpuReset ? KOUSB_CPU_RESET : 0;
            return done(1);
        }
        const bool reset = (data[0] & KOUSB_CPU_RESET) != 0;
        if (reset && !c.cpuReset)
            c.loadedBytes = 0;
        if (c.cpuReset && !reset) {
            // The loaded code starts: our firmware, under the image's name.
            const std::string name = std::string(c.firmwareComing[0] ? c.firmwareComing : "controller memory") + " ("
                                     + std::to_string(c.loadedBytes) + " bytes)";
            copyName(c.firmware, name.c_str());
            c.firmwareComing[0] = '\0';
            c.running = c.released = true;
            ++b.changes;
            startFirmware(b);
        }
        c.cpuReset = reset;
        return done(1);
    }
    if (!kousb_loader_reaches(address, length))
        return {Reply::Stall, 0};
    std::uint8_t* at =
        address < KOUSB_PROGRAM_RAM_END ? c.programRam + address : c.dataRam + (address - KOUSB_DATA_RAM_START);
    if (in) {
        std::memcpy(data, at, length);
    } else {
        std::memcpy(at, data, length);
        if (c.cpuReset)
            c.loadedBytes += std::uint32_t(length);
    }
    return done(length);
}

// A request through the core as EP0 hands it over: SETUP, packets, status.
Reply firmware(Board& b, const std::uint8_t* setup, std::uint8_t* data)
{
    Bind bind(b);
    const bool in = (setup[0] & 0x80) != 0;
    const fw_setup request{setup[0], setup[1], std::uint16_t(setup[2] | setup[3] << 8),
                           std::uint16_t(setup[4] | setup[5] << 8), std::uint16_t(setup[6] | setup[7] << 8)};
    std::size_t moved = 0;
    if (fw_setup_begin(&request))
        return {Reply::Stall, moved};
    const std::size_t total = in ? fw_reply_length() : request.length;
    while (moved < total) {
        const auto n = std::uint8_t(std::min<std::size_t>(FW_EP0_PACKET, total - moved));
        std::uint8_t packet[FW_EP0_PACKET];
        if (!in)
            std::memcpy(packet, data + moved, n);
        if (in ? fw_setup_in(packet, n) : fw_setup_out(packet, n))
            return {Reply::Stall, moved};
        if (in)
            std::memcpy(data + moved, packet, n);
        moved += n;
    }
    if (fw_setup_end())
        return {Reply::Stall, moved};
    return done(moved);
}

Reply bulk(Board& b, std::uint8_t endpoint, std::uint8_t* data, std::size_t length)
{
    Bind bind(b);
    const std::uint16_t packet = bulkPacket(b);
    if (endpoint == 0x02) {
        // Packet by packet; a transfer of whole packets has no short one at its end.
        std::size_t at = 0;
        do {
            const std::size_t n = std::min<std::size_t>(packet, length - at);
            fw_bulk_out(data + at, std::uint16_t(n));
            at += n;
        } while (at < length);
        return done(length);
    }
    if (endpoint != 0x86)
        return {Reply::Stall, 0};
    // Every IN packet is a whole one, from the controller's double buffer.
    Controller& c = b.controller;
    std::size_t moved = 0;
    while (moved < length) {
        std::uint8_t* buffer = c.inBuffers[c.inSlot];
        fw_bulk_in_fill(buffer, c.inSlot);
        c.inSlot ^= 1;
        if (length - moved < packet)
            return {Reply::Overflow, moved};
        std::memcpy(data + moved, buffer, packet);
        moved += packet;
    }
    return done(moved);
}

Reply reports(Board& b, std::uint8_t endpoint, std::uint8_t* data, std::size_t length)
{
    if (endpoint != 0x81 && endpoint != 0x01)
        return {Reply::Stall, 0};
    if (length < KOUSB_REPORT_SIZE)
        return {Reply::Overflow, 0};
    Bind bind(b);
    if (endpoint & 0x80)
        fw_status_report(data);
    else
        fw_report_received(data);
    return done(KOUSB_REPORT_SIZE);
}

}  // namespace

void powerOn(Board& b, const PowerOn& how)
{
    Controller& c = b.controller;
    c.capabilities = how.profile.capabilities;
    std::snprintf(c.fpgaPart, sizeof c.fpgaPart, "%s", how.profile.fpgaPart);
    c.versionFromEeprom = how.versionFromEeprom;
    c.fullSpeed = how.fullSpeed;
    if (how.eeprom)
        std::memcpy(b.eeprom.cells, how.eeprom, sizeof b.eeprom.cells);
    else
        std::memset(b.eeprom.cells, KOUSB_EEPROM_ERASED, sizeof b.eeprom.cells);
    b.eeprom.cyclePolls = 3;
    b.eeprom.dropOffset = how.eepromDropOffset;
    b.i2c.bytesBeforeBusError = -1;
    b.sensor.halfDegrees = 51;  // 25.5 °C
    b.sensor.hysteresis = 75 << 8;
    b.sensor.overtemperature = 80 << 8;
    if (how.fpgaDesign && how.fpgaDesign[0]) {
        b.fpga.configured = true;
        copyName(b.fpga.design, how.fpgaDesign);
    }
    if (how.running) {
        c.running = true;
        copyName(c.firmware, how.firmware);
        startFirmware(b);
    }
}

Reply control(Board& b, const std::uint8_t* setup, std::uint8_t* data)
{
    beginTransfer(b);
    const Controller& c = b.controller;
    const std::uint16_t value = std::uint16_t(setup[2] | setup[3] << 8);
    const std::uint16_t length = std::uint16_t(setup[6] | setup[7] << 8);
    if ((setup[0] & 0x60) != 0x40)
        return {Reply::Stall, 0};
    if (setup[1] == KOUSB_REQ_FIRMWARE_LOAD)
        return loader(b, (setup[0] & 0x80) != 0, value, data, length);
    if (!c.running)
        return {Reply::Stall, 0};
    if (c.cpuReset)
        return {Reply::Nak, 0};
    return firmware(b, setup, data);
}

Reply transfer(Board& b, std::uint8_t endpoint, bool interrupt, std::uint8_t* data, std::size_t length)
{
    beginTransfer(b);
    if (!b.controller.running || b.controller.cpuReset)
        return {Reply::Nak, 0};
    return interrupt ? reports(b, endpoint, data, length) : bulk(b, endpoint, data, length);
}

std::uint16_t productId(const Board& b) { return b.controller.running ? KOUSB_FIRMWARE_PID : KOUSB_BOOT_PID; }

bool takeRelease(Board& b) { return std::exchange(b.controller.released, false); }

void nameFirmwareComing(Board& b, const char* name) { copyName(b.controller.firmwareComing, name); }

void nameDesignComing(Board& b, const char* name) { copyName(b.fpga.designComing, name); }

}  // namespace fwmodel
