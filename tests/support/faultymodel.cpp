// SPDX-License-Identifier: MIT
#include "faultymodel.h"

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
void FaultyModel::unplugAfter(int transfers)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_unplugCountdown = transfers;
}
std::set<std::uint8_t> FaultyModel::clearedEndpoints() const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_cleared;
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
    return faulted(0, reply) ? reply : m_inner->control(setup, data);
}

ModelReply FaultyModel::transfer(std::uint8_t endpoint, bool interrupt, std::uint8_t* data, std::size_t length)
{
    ModelReply reply;
    return faulted(endpoint, reply) ? reply : m_inner->transfer(endpoint, interrupt, data, length);
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
