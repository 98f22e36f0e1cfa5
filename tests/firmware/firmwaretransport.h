#pragma once
// The real-board logic's view of a board running our firmware, straight on
// the firmware model (the host-compiled core on the chip models), without a
// bus in between.
#include "firmwaremodel.h"
#include "modeltransport.h"

class FirmwareTransport : public ModelTransport {
public:
    // Resets the chip models and starts the core with this board's profile.
    explicit FirmwareTransport(const ProfileCaps& profile, FirmwareModel::Speed speed = FirmwareModel::Speed::High)
        : FirmwareTransport(std::make_shared<FirmwareModel>(FirmwareModel::Starts::RunningFirmware, profile, speed))
    {
    }

    int stalls() const { return m_model->stalls(); }

private:
    explicit FirmwareTransport(std::shared_ptr<FirmwareModel> model) : ModelTransport(model), m_model(std::move(model))
    {
    }

    std::shared_ptr<FirmwareModel> m_model;
};
