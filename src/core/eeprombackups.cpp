// SPDX-License-Identifier: MIT
#include "eeprombackups.h"

#include "sim/simdirectory.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace backups {

namespace {

const std::string kPrefix = "backup-";
const std::string kSuffix = ".hex";

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    const passwd* user = ::getpwuid(::getuid());
    return user && user->pw_dir ? user->pw_dir : "/";
}

bool allDigits(const std::string& text, std::size_t count)
{
    return text.size() == count
           && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

bool exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::string folder()
{
    // The XDG base directory rule: a relative XDG_DATA_HOME is ignored.
    const char* data = std::getenv("XDG_DATA_HOME");
    const std::string base = data && data[0] == '/' ? data : homeFolder() + "/.local/share";
    return base + "/usb-device-manager/backups";
}

std::string fileName(std::int32_t id, const std::string& place, std::time_t when, int sequence)
{
    std::string safePlace = place.empty() ? "unknown" : place;
    for (char& c : safePlace)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-')
            c = '_';
    std::tm local{};
    ::localtime_r(&when, &local);
    char time[32];
    std::strftime(time, sizeof time, "%Y%m%d-%H%M%S", &local);
    return kPrefix + std::to_string(id) + "-" + safePlace + "-" + time
           + (sequence > 1 ? "-" + std::to_string(sequence) : "") + kSuffix;
}

bool parseFileName(const std::string& name, Backup& backup)
{
    if (name.size() <= kPrefix.size() + kSuffix.size() || name.compare(0, kPrefix.size(), kPrefix) != 0
        || name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
        return false;
    // "<id>-<place>-<date>-<time>[-<sequence>]"; the ID may be negative and the place holds dashes.
    std::vector<std::string> fields;
    const std::string rest = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    for (std::size_t start = 0;;) {
        const std::size_t dash = rest.find('-', start);
        fields.push_back(rest.substr(start, dash - start));
        if (dash == std::string::npos)
            break;
        start = dash + 1;
    }
    Backup parsed;
    const bool negative = fields.size() > 1 && fields[0].empty();
    const std::string idDigits = fields[negative ? 1 : 0];
    if (idDigits.empty() || idDigits.size() > 10 || !allDigits(idDigits, idDigits.size()))
        return false;
    const long long id = std::atoll(idDigits.c_str()) * (negative ? -1 : 1);
    if (id < INT32_MIN || id > INT32_MAX)
        return false;
    parsed.id = std::int32_t(id);
    fields.erase(fields.begin(), fields.begin() + (negative ? 2 : 1));
    const std::size_t n = fields.size();
    if (n >= 4 && fields[n - 1].size() <= 4 && allDigits(fields[n - 1], fields[n - 1].size())
        && allDigits(fields[n - 2], 6) && allDigits(fields[n - 3], 8)) {
        parsed.sequence = std::atoi(fields[n - 1].c_str());
        if (parsed.sequence < 2)
            return false;
        fields.pop_back();
    }
    const std::size_t m = fields.size();
    if (m < 3 || !allDigits(fields[m - 1], 6) || !allDigits(fields[m - 2], 8))
        return false;
    parsed.time = fields[m - 2] + "-" + fields[m - 1];
    for (std::size_t i = 0; i + 2 < m; ++i)
        parsed.place += (i ? "-" : "") + fields[i];
    if (parsed.place.empty())
        return false;
    backup = parsed;
    return true;
}

bool newBackupPath(const std::string& dir, std::int32_t id, const std::string& place, std::string& path,
                   std::string& error)
{
    if (!kousb::sim::ensureDirectory(dir, error)) {
        error = "the backup folder cannot be made: " + error;
        return false;
    }
    const std::time_t now = std::time(nullptr);
    for (int sequence = 1;; ++sequence) {
        path = dir + "/" + fileName(id, place, now, sequence);
        if (!exists(path))
            return true;
    }
}

std::vector<Backup> list(const std::string& dir)
{
    std::vector<Backup> found;
    DIR* folder = ::opendir(dir.c_str());
    if (!folder)
        return found;
    while (const dirent* entry = ::readdir(folder)) {
        Backup backup;
        if (parseFileName(entry->d_name, backup)) {
            backup.path = dir + "/" + entry->d_name;
            found.push_back(std::move(backup));
        }
    }
    ::closedir(folder);
    std::sort(found.begin(), found.end(), [](const Backup& a, const Backup& b) {
        return a.time != b.time           ? a.time < b.time
               : a.sequence != b.sequence ? a.sequence < b.sequence
                                          : a.path < b.path;
    });
    return found;
}

Candidates candidates(const std::vector<Backup>& all, std::int32_t id, const std::string& place)
{
    Candidates out;
    for (const Backup& backup : all) {
        const bool sameId = backup.id == id, samePlace = backup.place == place;
        if (sameId && samePlace)
            out.exact.push_back(backup);
        else if (sameId || samePlace)
            out.related.push_back(backup);
    }
    return out;
}

}  // namespace backups
