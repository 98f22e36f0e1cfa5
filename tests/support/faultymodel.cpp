// SPDX-License-Identifier: MIT
#include "faultymodel.h"

#include <algorithm>

void FaultyModel::haltEndpoint(std::uint8_t endpoint)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_halted.insert(endpoint);
}
void FaultyModel::silence(std::uint8_t endpoint)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_silent.insert(endpoint);
}
void FaultyModel::cutNext(std::uint8_t endpoint, std::size_t bytes)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_cut[endpoint] = bytes;
}
void FaultyModel::unplugAfter(int transfers)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_unplugCountdown = transfers;
}
void FaultyModel::runForeignFirmware()
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_foreign = true;
}
void FaultyModel::setAfterRelease(AfterRelease behaviour)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_afterRelease = behaviour;
}
std::set<std::uint8_t> FaultyModel::clearedEndpoints() const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_cleared;
}
std::vector<ControlRecord> FaultyModel::controlLog() const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_log;
}

bool FaultyModel::faulted(std::uint8_t endpoint, ModelReply& reply)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_unplugCountdown == 0)
        m_gone = true;
    else if (m_unplugCountdown > 0)
        --m_unplugCountdown;
    if (m_gone)
        reply = {ModelReply::Gone, 0};
    else if (m_silent.count(endpoint))
        reply = {ModelReply::Nak, 0};
    else if (m_halted.count(endpoint))
        reply = {ModelReply::Stall, 0};
    else
        return false;
    return true;
}

ModelReply FaultyModel::control(const std::uint8_t* setup, std::uint8_t* data)
{
    ModelReply reply;
    if (faulted(0, reply))
        return reply;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ControlRecord record{};
        std::copy_n(setup, 8, record.setup);
        if (!(setup[0] & 0x80))
            record.data.assign(data, data + (setup[6] | setup[7] << 8));
        m_log.push_back(std::move(record));
        if (m_foreign && (setup[0] & 0x60) == 0x40 && setup[1] != KOUSB_REQ_FIRMWARE_LOAD)
            return {ModelReply::Stall, 0};
    }
    return m_inner->control(setup, data);
}

ModelReply FaultyModel::transfer(std::uint8_t endpoint, bool interrupt, std::uint8_t* data, std::size_t length)
{
    ModelReply reply;
    if (faulted(endpoint, reply))
        return reply;
    std::size_t cut = length;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (auto it = m_cut.find(endpoint); it != m_cut.end()) {
            cut = std::min(length, it->second);
            m_cut.erase(it);
        }
    }
    reply = m_inner->transfer(endpoint, interrupt, data, length);
    reply.actual = std::min(reply.actual, cut);
    return reply;
}

bool FaultyModel::clearHalt(std::uint8_t endpoint)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_gone)
            return false;
        m_halted.erase(endpoint);
        m_cleared.insert(endpoint);
    }
    return m_inner->clearHalt(endpoint);
}

// A board that stays on the bus is not seen to leave; one that never comes
// back has gone.
bool FaultyModel::takeRelease()
{
    const bool released = m_inner->takeRelease();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (released && m_afterRelease == AfterRelease::NeverComesBack)
        m_gone = true;
    return released && m_afterRelease != AfterRelease::StaysConnected;
}

bool FaultyModel::gone() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_gone;
}
