// SPDX-License-Identifier: MIT
#pragma once
#include "../boardserial.h"
#include "../libusb/fx2board.h"
#include "boardfile.h"
#include "simtransport.h"

#include <memory>
#include <string>

namespace kousb::sim {

// A simulated board: the real-board logic (Fx2Board) over the transport to
// the board's model in its state file (simtransport.h). It adds what only a
// simulated board has: each library call holds the board's lock across its
// transfers, so that calls from several processes interleave whole, and the
// names of the firmware image and FPGA design it loads, which its controller
// and FPGA keep for kousb-sim and the endpoint information; and an I2C
// address nobody answered at is told with the chips that are on its bus.
class SimBoard : public usb::Fx2Board {
public:
    // `config` is the board file's content as read when the board appeared.
    SimBoard(std::string path, BoardState config);

    const std::string& path() const { return m_transport->path(); }
    const std::string& instance() const { return m_transport->config().instance; }
    // Why the board's state cannot be shared (its state file); empty when it can.
    const std::string& openError() const { return m_transport->openError(); }
    // True when another process has changed what this board shows (identity,
    // EEPROM, FPGA design, firmware) since the last look; changes made
    // through this object do not count. Any thread.
    bool changedElsewhere() { return m_transport->changedElsewhere(); }

    void beginCall() override { m_transport->beginCall(); }
    void endCall() override { m_transport->endCall(); }
    std::string place() override { return "sim-" + std::to_string(m_transport->config().slot); }
    // As our firmware makes it, from the ID the board holds now; none in the boot state.
    std::string serial() override { return runsOurFirmware() ? firmwareSerial(identity().id) : std::string(); }
    Status readI2C(std::uint8_t address, std::uint8_t* data, std::size_t length) override;
    Status writeI2C(std::uint8_t address, const std::uint8_t* data, std::size_t length) override;
    Status downloadXilinx(const std::string& path) override;
    Status loadFirmwareWaiting(const std::string& path, std::chrono::milliseconds backWithin) override;

private:
    explicit SimBoard(std::shared_ptr<SimTransport> transport);
    std::shared_ptr<SimTransport> m_transport;
};

}  // namespace kousb::sim
