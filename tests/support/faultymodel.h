// SPDX-License-Identifier: MIT
#pragma once
// Faults no firmware can show, around any device model: an endpoint that
// stalls until the host clears it, an endpoint that never answers (the
// host's transfer waits for its timeout, or for the board to be pulled
// out), and a board pulled out after a number of transfers.
#include "devicemodel.h"

#include <memory>
#include <mutex>
#include <set>

class FaultyModel : public DeviceModel {
public:
    explicit FaultyModel(std::shared_ptr<DeviceModel> inner) : m_inner(std::move(inner)) {}

    void haltEndpoint(std::uint8_t endpoint);
    // `endpoint` (0 for control) NAKs every transfer from now on.
    void silence(std::uint8_t endpoint);
    // After `transfers` more transfers of any kind the board has gone.
    void unplugAfter(int transfers);
    // Endpoints the host cleared a halt on.
    std::set<std::uint8_t> clearedEndpoints() const;

    ModelReply control(const std::uint8_t* setup, std::uint8_t* data) override;
    ModelReply transfer(std::uint8_t endpoint, bool interrupt, std::uint8_t* data, std::size_t length) override;
    bool clearHalt(std::uint8_t endpoint) override;
    void attach() override { m_inner->attach(); }
    std::uint16_t productId() const override { return m_inner->productId(); }
    bool fullSpeed() const override { return m_inner->fullSpeed(); }
    bool takeRelease() override { return m_inner->takeRelease(); }

private:
    // The fault for a transfer on `endpoint`, if any (counts the transfer).
    bool faulted(std::uint8_t endpoint, ModelReply& reply);

    std::shared_ptr<DeviceModel> m_inner;
    mutable std::mutex m_mutex;
    std::set<std::uint8_t> m_halted, m_silent, m_cleared;
    int m_unplugCountdown = -1;
    bool m_gone = false;
};
