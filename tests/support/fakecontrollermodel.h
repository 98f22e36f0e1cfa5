#pragma once
// The emulated board's behaviour, taken from the scripted controller fake
// (fakecontroller.h): the board protocol, the controller's 0xA0 memory, the
// looped-back endpoints and the scripted faults. Standard requests the fake
// does not serve (string descriptors) are answered here.
//
// This is the one place that decides what answers an emulated board's
// transfers; a model on the host-compiled board firmware replaces it here.
#include "devicemodel.h"
#include "fakecontroller.h"

#include <memory>

class FakeControllerModel : public DeviceModel {
public:
    explicit FakeControllerModel(std::shared_ptr<FakeController> fake) : m_fake(std::move(fake)) {}

    FakeController& fake() { return *m_fake; }

    ModelReply control(const std::uint8_t* setup, std::uint8_t* data) override;
    ModelReply transfer(std::uint8_t endpoint, bool interrupt, std::uint8_t* data, std::size_t length) override;
    bool clearHalt(std::uint8_t endpoint) override;
    std::uint16_t productId() const override;
    bool takeRelease() override;

private:
    std::shared_ptr<FakeController> m_fake;
};

// A model for a board on the bus, by what it runs now.
std::shared_ptr<FakeControllerModel> makeBoardModel(FakeController::Runs runs);
