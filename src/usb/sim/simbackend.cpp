#include "simbackend.h"

#include "boardfile.h"
#include "simboard.h"
#include "simdirectory.h"

#include <dirent.h>
#include <iostream>

namespace kousb::sim {

SimBackend::SimBackend(std::string directory) : m_directory(std::move(directory)) {}

SimBackend::~SimBackend() = default;

std::string SimBackend::defaultDirectory()
{
    return sim::defaultDirectory();
}

bool SimBackend::start()
{
    std::string error;
    if (!ensureDirectory(m_directory, error)) {
        std::cerr << "kousb: no simulated boards: " << error << std::endl;
        return false;
    }
    if (!m_watch.open(m_directory, error))
        std::cerr << "kousb: simulated boards are seen only on request: " << error << std::endl;
    m_started = true;
    return true;
}

void SimBackend::reportOnce(const std::string& file, const std::string& reason)
{
    if (m_reported.insert(file + ": " + reason).second)
        std::cerr << "kousb: skipping simulated board " << file << ": " << reason << std::endl;
}

void SimBackend::rescan(Registry& registry)
{
    if (!m_started)
        return;
    m_watch.drain();

    std::map<int, std::pair<std::string, BoardState>> present;  // slot -> path, state
    if (DIR* dir = ::opendir(m_directory.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            const int slot = slotFromFileName(name);
            if (slot < 0)
                continue;
            const std::string path = m_directory + "/" + name;
            std::string error;
            BoardState state;
            if (!readBoardFile(path, state, error)) {
                reportOnce(path, error);
                continue;
            }
            if (state.slot != slot) {
                reportOnce(path, "it says slot " + std::to_string(state.slot));
                continue;
            }
            present.emplace(slot, std::make_pair(path, std::move(state)));
        }
        ::closedir(dir);
    }

    for (auto it = m_boards.begin(); it != m_boards.end();) {
        auto found = present.find(it->first);
        if (found == present.end() || found->second.second.instance != it->second.instance) {
            registry.detach(it->second.token);
            it = m_boards.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& [slot, entry] : present) {
        if (m_boards.count(slot))
            continue;
        const std::string instance = entry.second.instance;
        auto board = std::make_shared<SimBoard>(entry.first, std::move(entry.second));
        const Registry::Token token = registry.attach(board, slot);
        if (token == 0) {
            reportOnce(entry.first, "slot " + std::to_string(slot) + " is taken");
            continue;
        }
        m_boards[slot] = Tracked{instance, token};
    }
}

} // namespace kousb::sim
