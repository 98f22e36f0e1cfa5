// SPDX-License-Identifier: MIT
#include "boardstore.h"

#include "../atomicfile.h"
#include "../eepromlayout.h"
#include "sharedboard.h"
#include "simdirectory.h"
#include "simtransport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kousb::sim {

namespace {

constexpr int kMaxSlot = 255;

bool exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

BoardStore::BoardStore(std::string dir) : m_dir(std::move(dir)) {}

BoardStore BoardStore::standard() { return BoardStore(defaultDirectory()); }

std::string BoardStore::boardPath(int slot) const { return m_dir + "/" + boardFileName(slot); }

std::string BoardStore::shelfPath(int slot) const { return m_dir + "/unplugged/" + boardFileName(slot); }

bool BoardStore::check(std::string& error, bool create) const
{
    if (create && !ensureDirectory(m_dir, error))
        return false;
    struct stat st;
    if (::stat(m_dir.c_str(), &st) != 0) {
        error = "the board folder " + m_dir + " cannot be used: " + std::strerror(errno);
        return false;
    }
    const std::string remedy = "; remove it, or set KOUSB_SIM_DIR to a folder of your own";
    if (!S_ISDIR(st.st_mode)) {
        error = "the board folder " + m_dir + " is not a folder" + remedy;
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        error =
            "the board folder " + m_dir + " belongs to another user (uid " + std::to_string(st.st_uid) + ")" + remedy;
        return false;
    }
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        error = "the board folder " + m_dir + " can be written by other users; make it yours alone (chmod go-w " + m_dir
                + "), or set KOUSB_SIM_DIR to a folder of your own";
        return false;
    }
    // Only now, in a folder that is the user's: the state files' folder.
    return !create || ensureDirectory(m_dir + "/" + kStateFolder, error);
}

std::map<int, BoardStore::Entry> BoardStore::boards(const Skip& skip) const
{
    std::map<int, Entry> found;
    DIR* dir = ::opendir(m_dir.c_str());
    if (!dir)
        return found;
    while (dirent* entry = ::readdir(dir)) {
        const int slot = slotFromFileName(entry->d_name);
        if (slot < 0)
            continue;
        Entry board;
        board.path = m_dir + "/" + entry->d_name;
        std::string error;
        if (!readBoardFile(board.path, board.config, error)) {
            skip(board.path, error);
            continue;
        }
        if (board.config.slot != slot) {
            skip(board.path, "it says slot " + std::to_string(board.config.slot));
            continue;
        }
        found.emplace(slot, std::move(board));
    }
    ::closedir(dir);
    return found;
}

int BoardStore::plug(BoardState state, int slot, std::string& error) const
{
    state.instance = newInstanceId();
    state.lastWrites.clear();
    for (int at = slot < 0 ? 0 : slot; at <= kMaxSlot; ++at) {
        state.slot = at;
        const std::string path = boardPath(at);
        // A state file left from an earlier plugging is for another instance:
        // the board powers on afresh.
        if (writeFileAtomic(path, formatBoardFile(state), WriteMode::CreateNew, error))
            return at;
        if (slot >= 0 || !exists(path)) {
            if (exists(path))
                error = "slot " + std::to_string(at) + " is taken";
            return -1;
        }
    }
    error = "every slot is taken";
    return -1;
}

bool BoardStore::unplug(int slot, std::string& error) const
{
    const std::string path = boardPath(slot);
    if (!exists(path)) {
        error = "no board in slot " + std::to_string(slot);
        return false;
    }
    if (!ensureDirectory(m_dir + "/unplugged", error))
        return false;
    if (::rename(path.c_str(), shelfPath(slot).c_str()) != 0) {
        error = "cannot unplug " + path + ": " + std::strerror(errno);
        return false;
    }
    // Power off: what the board held goes. A process still holding the old
    // state sees the board unplugged.
    SharedBoard::unplug(stateFilePath(path));
    return true;
}

bool BoardStore::replug(int slot, std::string& error) const
{
    const std::string shelved = shelfPath(slot);
    BoardState state;
    if (!exists(shelved)) {
        error = "no board was unplugged from slot " + std::to_string(slot);
        return false;
    }
    if (!readBoardFile(shelved, state, error)) {
        error = shelved + ": " + error;
        return false;
    }
    // A new plugging: whoever missed the unplug still sees a new arrival.
    if (plug(state, slot, error) < 0)
        return false;
    ::unlink(shelved.c_str());
    return true;
}

bool BoardStore::readLive(int slot, BoardState& state, std::string& error) const
{
    const std::string path = boardPath(slot);
    if (!exists(path)) {
        error = "no board in slot " + std::to_string(slot);
        return false;
    }
    if (!readBoardFile(path, state, error)) {
        error = path + ": " + error;
        return false;
    }
    auto shared = SharedBoard::openExisting(stateFilePath(path), state.instance);
    if (!shared)
        return true;  // not powered by any process yet: as its file says
    SharedBoard::Lock lock(*shared);
    if (!shared->belongsTo(state.instance))
        return true;
    const PoweredBoard& powered = shared->state().powered;
    const fwmodel::Board& board = powered.board;
    state.eeprom.assign(board.eeprom.cells, board.eeprom.cells + eeprom::kSize);
    state.fpgaDesign = board.fpga.configured ? board.fpga.design : "";
    state.controllerFirmware = board.controller.firmware;
    state.lastWrites.clear();
    for (std::size_t r = 0; r < sizeof kRecordedRoutes / sizeof kRecordedRoutes[0]; ++r) {
        const RecordedWrite& last = powered.lastWrites[r];
        if (!last.written)
            continue;
        BoardState::LastWrite& out = state.lastWrites[kRecordedRoutes[r].mode];
        out.length = last.length;
        out.head.assign(last.head, last.head + last.headLength);
    }
    return true;
}

}  // namespace kousb::sim
