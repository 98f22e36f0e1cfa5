// SPDX-License-Identifier: MIT
#pragma once
#include "../backend.h"
#include "../registry.h"
#include "dirwatch.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace kousb::sim {

class SimBoard;

// Serves the simulated boards of one folder: each board file is a board in
// the slot its name gives. Creating a file plugs a board in, removing it
// unplugs the board; a file rewritten with a new instance is a new board.
// Another process changing what a board shows (its identity, EEPROM, FPGA
// design or firmware) wakes the descriptor too, through the touched state
// file, and the rescan that follows calls `onContentChange`.
class SimBackend : public Backend {
public:
    explicit SimBackend(std::string directory, std::function<void()> onContentChange = {});
    ~SimBackend() override;

    static std::string defaultDirectory();

    bool start() override;
    int descriptor() const override { return m_watch.descriptor(); }
    void rescan(Registry& registry) override;

private:
    struct Tracked {
        std::string instance;
        Registry::Token token = 0;
        std::shared_ptr<SimBoard> board;
    };
    void reportOnce(const std::string& file, const std::string& reason);

    std::string m_directory;
    std::string m_stateDirectory;
    std::function<void()> m_onContentChange;
    bool m_started = false;
    DirWatch m_watch;
    std::map<int, Tracked> m_boards;   // by slot
    std::set<std::string> m_reported;  // "file: reason" already said on stderr
};

}  // namespace kousb::sim
