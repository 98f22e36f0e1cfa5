// SPDX-License-Identifier: MIT
#pragma once
// The backups of boards' EEPROMs that the window and kousb keep before every
// flash, and how kousb restore finds them again. Plain C++, no Qt.
//
// A backup is Intel HEX holding every byte, as kousb dump-eeprom writes it,
// at $XDG_DATA_HOME/usb-device-manager/backups/ (~/.local/share/... when
// XDG_DATA_HOME is unset, empty or not absolute), named by the board's ID,
// its place and the local time it was made:
//   backup-<id>-<place>-<yyyymmdd>-<hhmmss>.hex
// and "-2", "-3", ... before ".hex" for further backups of the same board
// within the same second.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace backups {

// The folder backups go to.
std::string folder();

struct Backup {
    std::string path;
    std::int32_t id = 0;
    std::string place;
    std::string time;  // "yyyymmdd-hhmmss"
    int sequence = 1;  // 1 for the first backup of that second, then 2, 3, ...
};

// The file name of a backup of board `id` at `place` made at `when`.
// Characters of `place` other than letters, digits, '.' and '-' become '_'.
std::string fileName(std::int32_t id, const std::string& place, std::time_t when, int sequence = 1);
// Reads a file name fileName made (without folder); false for any other.
bool parseFileName(const std::string& name, Backup& backup);

// A path in `dir` for a new backup of board `id` at `place`, made now, under
// a name no file has yet; the folder is made (0700) when missing. False with
// `error` naming the folder when it cannot be made.
bool newBackupPath(const std::string& dir, std::int32_t id, const std::string& place, std::string& path,
                   std::string& error);

// The backups in `dir`, oldest first; other files are left out.
std::vector<Backup> list(const std::string& dir);

// What restore can offer for board `id` at `place`: the backups of that ID
// at that place (oldest first; the last is the one restore takes), and
// those of either the ID or the place alone, the candidates when there is
// none of both (a flash that gave the board a new ID; a board moved to
// another port).
struct Candidates {
    std::vector<Backup> exact;
    std::vector<Backup> related;
};
Candidates candidates(const std::vector<Backup>& all, std::int32_t id, const std::string& place);

}  // namespace backups
