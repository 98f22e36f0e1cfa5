// SPDX-License-Identifier: MIT
#include "simbackend.h"

#include "boardstore.h"
#include "simboard.h"
#include "simdirectory.h"

#include <iostream>
#include <sys/stat.h>

namespace kousb::sim {

SimBackend::SimBackend(std::string directory, std::function<void()> onContentChange)
    : m_directory(std::move(directory))
    , m_stateDirectory(m_directory + "/" + kStateFolder)
    , m_onContentChange(std::move(onContentChange))
{
}

SimBackend::~SimBackend() = default;

std::string SimBackend::defaultDirectory() { return sim::defaultDirectory(); }

bool SimBackend::start()
{
    std::string error;
    if (!BoardStore(m_directory).check(error)) {
        std::cerr << "kousb: no simulated boards: " << error << std::endl;
        return false;
    }
    if (!m_watch.open(m_directory, error))
        std::cerr << "kousb: simulated boards are seen only on request: " << error << std::endl;
    ::mkdir(m_stateDirectory.c_str(), 0700);  // made by the first board otherwise, too late to watch
    m_watch.watchTouches(m_stateDirectory);
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
    m_watch.watchTouches(m_stateDirectory);  // again, in case the folder was made anew

    auto present = BoardStore(m_directory).boards([this](const std::string& path, const std::string& reason) {
        reportOnce(path, reason);
    });

    bool contentChanged = false;
    for (auto it = m_boards.begin(); it != m_boards.end();) {
        auto found = present.find(it->first);
        if (found == present.end() || found->second.config.instance != it->second.instance) {
            registry.detach(it->second.token);
            it = m_boards.erase(it);
        } else {
            contentChanged = it->second.board->changedElsewhere() || contentChanged;
            ++it;
        }
    }
    if (contentChanged && m_onContentChange)
        m_onContentChange();
    for (auto& [slot, entry] : present) {
        if (m_boards.count(slot))
            continue;
        const std::string instance = entry.config.instance;
        auto board = std::make_shared<SimBoard>(entry.path, std::move(entry.config));
        if (!board->openError().empty()) {
            reportOnce(entry.path, board->openError());
            continue;
        }
        const Registry::Token token = registry.attach(board, slot);
        if (token == 0) {
            reportOnce(entry.path, "slot " + std::to_string(slot) + " is taken");
            continue;
        }
        m_boards[slot] = Tracked{instance, token, board};
    }
}

}  // namespace kousb::sim
