// SPDX-License-Identifier: MIT
#include "boardlist.h"

#include "KoUSBLib.h"

namespace boards {

namespace {

Entry entryOf(int slot, void* handle)
{
    KoUSBDevice device(handle);
    return {slot,
            handle,
            device.GetId(),
            device.GetName(),
            device.GetClass(),
            device.GetFWVersion(),
            device.GetPlace(),
            device.GetSerial()};
}

}  // namespace

std::vector<Entry> attached()
{
    std::vector<Entry> found;
    for (int slot = 0; slot < GetMaxNumberOfUSBBoards(); ++slot)
        if (void* handle = GetUSBDeviceIndexed(slot))
            found.push_back(entryOf(slot, handle));
    return found;
}

Watch::Watch()
{
    for (Entry& board : attached())
        m_seen[board.slot] = std::move(board);
}

std::vector<Change> Watch::look()
{
    std::map<int, Entry> now;
    for (int slot = 0; slot < GetMaxNumberOfUSBBoards(); ++slot) {
        void* handle = GetUSBDeviceIndexed(slot);
        if (handle == nullptr)
            continue;
        const auto known = m_seen.find(slot);
        now[slot] = known != m_seen.end() && known->second.handle == handle ? known->second : entryOf(slot, handle);
    }
    std::vector<Change> changes;
    for (const auto& [slot, board] : m_seen) {
        const auto it = now.find(slot);
        if (it == now.end() || it->second.handle != board.handle)
            changes.push_back({false, board});
    }
    for (const auto& [slot, board] : now) {
        const auto it = m_seen.find(slot);
        if (it == m_seen.end() || it->second.handle != board.handle)
            changes.push_back({true, board});
    }
    m_seen = std::move(now);
    return changes;
}

}  // namespace boards
