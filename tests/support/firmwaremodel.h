#pragma once
// An FX2LP board as a device model: the controller's boot state (its own
// 0xA0 loader into internal RAM and the CPUCS reset bit), and once the CPU
// runs, our firmware: the host-compiled firmware core on the chip models of
// firmware/host answers the vendor requests, the EP2/EP6 block loopback and
// the EP1 reports, and the standard requests the firmware's chip layer
// serves itself (string descriptors) are answered here as it does. The
// board runs at high speed, or at full speed, where its bulk packets are 64
// bytes: a host transfer reaches the core packet by packet, as on the wire.
//
// The firmware core and the chip models have one instance per process, as
// on the chip. A model takes them over when it is made (resetting them), and
// a board made before it then answers as unplugged: one board on the core at
// a time.
#include "devicemodel.h"
#include "profilecaps.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class FirmwareModel : public DeviceModel {
public:
    enum class Starts { InBootState, RunningFirmware };
    enum class Speed { High, Full };

    FirmwareModel(Starts starts, const ProfileCaps& profile, Speed speed = Speed::High);
    ~FirmwareModel() override;

    // Writes the identity block into the board's EEPROM (the firmware reads it from there).
    void writeIdentity(std::int32_t id, const std::string& name, std::uint8_t deviceClass);
    // Requests the board stalled, by the host's count.
    int stalls() const;
    // The controller's internal RAM.
    std::vector<std::uint8_t> memory(std::size_t address, std::size_t length) const;

    ModelReply control(const std::uint8_t* setup, std::uint8_t* data) override;
    ModelReply transfer(std::uint8_t endpoint, bool interrupt, std::uint8_t* data, std::size_t length) override;
    bool clearHalt(std::uint8_t endpoint) override;
    std::uint16_t productId() const override;
    bool fullSpeed() const override;
    bool takeRelease() override;

private:
    bool ownsCore() const;
    // The firmware starts on the chips as they are, at this board's speed.
    void startFirmware();
    ModelReply bootLoader(bool in, std::uint16_t address, std::uint8_t* data, std::size_t length);
    ModelReply standard(const std::uint8_t* setup, std::uint8_t* data);
    // A request through the core as EP0 hands it over: SETUP, packets, status.
    ModelReply firmware(const std::uint8_t* setup, std::uint8_t* data);
    ModelReply bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length);

    const ProfileCaps m_profile;
    const std::uint16_t m_packet;  // bulk packet size
    bool m_running;
    bool m_cpuReset = false;
    bool m_released = false;
    int m_stalls = 0;
    std::vector<std::uint8_t> m_ram = std::vector<std::uint8_t>(64 * 1024, 0);
    std::uint8_t m_inBuffers[2][512] = {};
    int m_inSlot = 0;
};

// The board of our own design on the bus (the FPGA profile), in its boot
// state or running our firmware.
std::shared_ptr<FirmwareModel> makeBoardModel(FirmwareModel::Starts starts);
