// SPDX-License-Identifier: MIT
#pragma once
// A board of ours as a device model: the controller and chips of
// firmware/models (its 0xA0 loader and CPUCS, and once the CPU runs our
// firmware's host-compiled core), with the standard requests the emulated
// bus asks (the device and configuration descriptors, and the strings our
// firmware's chip layer serves). The board runs at high speed, or at full
// speed, where its bulk packets are 64 bytes: a host transfer reaches the
// core packet by packet, as on the wire. Each model is a board of its own,
// so any number run side by side.
#include "boardmodel.h"
#include "controller.h"
#include "devicemodel.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class FirmwareModel : public DeviceModel {
public:
    enum class Starts { InBootState, RunningFirmware };
    enum class Speed { High, Full };

    FirmwareModel(Starts starts, const fwmodel::Profile& profile, Speed speed = Speed::High);

    // Writes the identity block into the board's EEPROM (the firmware reads it from there).
    void writeIdentity(std::int32_t id, const std::string& name, std::uint8_t deviceClass);
    // Requests the board stalled, by the host's count.
    int stalls() const;
    // The controller's internal RAM.
    std::vector<std::uint8_t> memory(std::size_t address, std::size_t length) const;
    // The board's chips and state, to look at or to set a fault on between
    // transfers (the model is not called meanwhile).
    fwmodel::Board& board() { return *m_board; }

    ModelReply control(const std::uint8_t* setup, std::uint8_t* data) override;
    ModelReply transfer(std::uint8_t endpoint, bool interrupt, std::uint8_t* data, std::size_t length) override;
    bool clearHalt(std::uint8_t endpoint) override;
    std::uint16_t productId() const override;
    bool fullSpeed() const override;
    bool takeRelease() override;

private:
    ModelReply standard(const std::uint8_t* setup, std::uint8_t* data);

    const fwmodel::Profile m_profile;
    mutable std::mutex m_mutex;  // umockdev's thread asks while the test thread looks
    std::unique_ptr<fwmodel::Board> m_board;
    int m_stalls = 0;
};

// The board of our own design on the bus (the FPGA profile), in its boot
// state or running our firmware.
std::shared_ptr<FirmwareModel> makeBoardModel(FirmwareModel::Starts starts);
