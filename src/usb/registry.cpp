// SPDX-License-Identifier: MIT
#include "registry.h"

#include <algorithm>

namespace kousb {

Registry::Token Registry::attach(std::shared_ptr<Board> board, int slot)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (slot < 0) {
        slot = 0;
        while (slot < static_cast<int>(m_slots.size()) && m_slots[slot] != 0)
            ++slot;
    }
    if (slot >= kMaxSlots)
        return 0;
    if (slot >= static_cast<int>(m_slots.size()))
        m_slots.resize(slot + 1, 0);
    if (m_slots[slot] != 0)
        return 0;
    const Token token = m_nextToken++;
    m_slots[slot] = token;
    m_boards.emplace(token, std::make_shared<AttachedBoard>(std::move(board)));
    return token;
}

void Registry::detach(Token token)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_boards.erase(token);
    for (auto& t : m_slots)
        if (t == token)
            t = 0;
    while (!m_slots.empty() && m_slots.back() == 0)
        m_slots.pop_back();
}

int Registry::slotCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::max(kMinSlots, static_cast<int>(m_slots.size()));
}

Registry::Token Registry::tokenAt(int slot) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (slot < 0 || slot >= static_cast<int>(m_slots.size()))
        return 0;
    return m_slots[slot];
}

int Registry::slotOf(Token token) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (std::size_t i = 0; i < m_slots.size(); ++i)
        if (token != 0 && m_slots[i] == token)
            return static_cast<int>(i);
    return -1;
}

std::shared_ptr<AttachedBoard> Registry::resolve(Token token) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_boards.find(token);
    return it == m_boards.end() ? nullptr : it->second;
}

std::vector<std::pair<int, Registry::Token>> Registry::snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::pair<int, Token>> out;
    for (std::size_t i = 0; i < m_slots.size(); ++i)
        if (m_slots[i] != 0)
            out.emplace_back(static_cast<int>(i), m_slots[i]);
    return out;
}

}  // namespace kousb
