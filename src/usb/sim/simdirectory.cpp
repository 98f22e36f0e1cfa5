// SPDX-License-Identifier: MIT
#include "simdirectory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace kousb::sim {

std::string defaultDirectory()
{
    if (const char* dir = std::getenv("KOUSB_SIM_DIR"); dir && *dir)
        return dir;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/kousb-sim";
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp && *tmp ? tmp : "/tmp";
    return base + "/kousb-sim-" + std::to_string(::getuid());
}

bool ensureDirectory(const std::string& dir, std::string& error)
{
    if (dir.empty()) {
        error = "empty folder name";
        return false;
    }
    for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/')
            continue;
        const std::string part = dir.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot create " + part + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = dir + " is not a folder";
        return false;
    }
    return true;
}

std::string boardFileName(int slot)
{
    char name[32];
    std::snprintf(name, sizeof name, "slot-%02d.board", slot);
    return name;
}

int slotFromFileName(const std::string& name)
{
    const std::string prefix = "slot-";
    const std::string suffix = ".board";
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0
        || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return -1;
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.empty() || digits.size() > 3)
        return -1;
    int slot = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        slot = slot * 10 + (c - '0');
    }
    return slot;
}

}  // namespace kousb::sim
