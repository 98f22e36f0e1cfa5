// SPDX-License-Identifier: MIT
#pragma once
// The real-board logic's view of a board running our firmware, straight on
// the firmware model (the host-compiled core on the chip models), without a
// bus in between.
#include "firmwaremodel.h"
#include "modeltransport.h"

class FirmwareTransport : public ModelTransport {
public:
    // A board of its own with this profile, running our firmware.
    explicit FirmwareTransport(const fwmodel::Profile& profile, FirmwareModel::Speed speed = FirmwareModel::Speed::High)
        : FirmwareTransport(std::make_shared<FirmwareModel>(FirmwareModel::Starts::RunningFirmware, profile, speed))
    {
    }

    int stalls() const { return m_model->stalls(); }
    fwmodel::Board& board() { return m_model->board(); }

private:
    explicit FirmwareTransport(std::shared_ptr<FirmwareModel> model) : ModelTransport(model), m_model(std::move(model))
    {
    }

    std::shared_ptr<FirmwareModel> m_model;
};
