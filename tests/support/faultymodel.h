// SPDX-License-Identifier: MIT
#pragma once
// Faults no firmware can show, around any device model: an endpoint that
// stalls until the host clears it, an endpoint that never answers (the
// host's transfer waits for its timeout, or for the board to be pulled
// out), an IN transfer cut short, a board pulled out after a number of
// transfers; someone else's firmware, which stalls our vendor requests; and
// the boot ROM's variants after the CPU is let run: the board stays on the
// bus, or never comes back. A log of the control transfers that reached
// the board shows what the host sent.
#include "devicemodel.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

struct ControlRecord {
    std::uint8_t setup[8];
    std::vector<std::uint8_t> data;  // what an OUT transfer sent
};

class FaultyModel : public DeviceModel {
public:
    enum class AfterRelease { Reenumerates, StaysConnected, NeverComesBack };

    explicit FaultyModel(std::shared_ptr<DeviceModel> inner) : m_inner(std::move(inner)) {}

    void haltEndpoint(std::uint8_t endpoint);
    // `endpoint` (0 for control) NAKs every transfer from now on.
    void silence(std::uint8_t endpoint);
    // The next IN transfer on `endpoint` delivers at most `bytes`.
    void cutNext(std::uint8_t endpoint, std::size_t bytes);
    // After `transfers` more transfers of any kind the board has gone.
    void unplugAfter(int transfers);
    // Every vendor request but the controller's own 0xA0 stalls.
    void runForeignFirmware();
    void setAfterRelease(AfterRelease behaviour);
    // Endpoints the host cleared a halt on.
    std::set<std::uint8_t> clearedEndpoints() const;
    std::vector<ControlRecord> controlLog() const;

    ModelReply control(const std::uint8_t* setup, std::uint8_t* data) override;
    ModelReply transfer(std::uint8_t endpoint, bool interrupt, std::uint8_t* data, std::size_t length) override;
    bool clearHalt(std::uint8_t endpoint) override;
    void attach() override { m_inner->attach(); }
    std::uint16_t productId() const override { return m_inner->productId(); }
    bool fullSpeed() const override { return m_inner->fullSpeed(); }
    bool takeRelease() override;
    bool gone() const override;

private:
    // The fault for a transfer on `endpoint`, if any (counts the transfer).
    bool faulted(std::uint8_t endpoint, ModelReply& reply);

    std::shared_ptr<DeviceModel> m_inner;
    mutable std::mutex m_mutex;
    std::set<std::uint8_t> m_halted, m_silent, m_cleared;
    std::map<std::uint8_t, std::size_t> m_cut;
    std::vector<ControlRecord> m_log;
    AfterRelease m_afterRelease = AfterRelease::Reenumerates;
    int m_unplugCountdown = -1;
    bool m_gone = false;
    bool m_foreign = false;
};
