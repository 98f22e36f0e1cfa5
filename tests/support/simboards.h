// SPDX-License-Identifier: MIT
#pragma once
// Simulated boards for tests: a fresh folder of board files, named to the
// library through KOUSB_SIM_DIR. Create one per test process before the
// first InitUSB; boards plugged here appear at the next OnDeviceChange.
#include "sim/boardfile.h"

#include <QTemporaryDir>

#include <string>

class SimBoards {
public:
    SimBoards();

    std::string dir() const;
    std::string path(int slot) const;

    struct Options {
        int id = 1;
        std::string name = "Test board";
        int deviceClass = 0;
        int firmwareVersion = 1;
        double rate = 24.0;
    };
    // Plugs a board into `slot` (which must be free).
    void plug(int slot, const Options& options);
    void plug(int slot, int id, const std::string& name);
    void unplug(int slot);
    void unplugAll();

    // The board as it is now, its file and its shared state (throws if unreadable).
    kousb::sim::BoardState read(int slot) const;
    // Writes `content` as a file named `fileName` in the folder, as is.
    void writeRaw(const std::string& fileName, const std::string& content);

    // Brings the library up to date with the folder; true if the set changed.
    static bool sync();

private:
    QTemporaryDir m_dir;
};
