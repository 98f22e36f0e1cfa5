// SPDX-License-Identifier: MIT
#include "doctorfacts.h"

#include "eepromlayout.h"
#include "libusb/usbids.h"
#include "sim/boardstore.h"
#include "sim/simboard.h"
#include "sim/simdirectory.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace doctor {

namespace {

std::string userName(uid_t uid)
{
    const passwd* user = ::getpwuid(uid);
    return user ? user->pw_name : "uid " + std::to_string(uid);
}

std::string groupName(gid_t gid)
{
    const group* g = ::getgrgid(gid);
    return g ? g->gr_name : "gid " + std::to_string(gid);
}

std::string readText(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether the POSIX ACL of `path` gives `uid` read and write through a named
// user entry (what uaccess adds for the user at the seat). The extended
// attribute is a version word, then entries of tag, permissions and ID.
bool aclGivesUser(const std::string& path, uid_t uid)
{
    unsigned char acl[1024];
    const ssize_t size = ::getxattr(path.c_str(), "system.posix_acl_access", acl, sizeof acl);
    if (size < 4)
        return false;
    auto u16 = [&](std::size_t at) { return unsigned(acl[at] | acl[at + 1] << 8); };
    auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    constexpr unsigned kUser = 0x02, kMask = 0x10, kReadWrite = 0x06;
    unsigned userPerm = 0, mask = 07;
    for (std::size_t at = 4; at + 8 <= std::size_t(size); at += 8) {
        if (u16(at) == kUser && u32(at + 4) == uid)
            userPerm = u16(at + 2);
        else if (u16(at) == kMask)
            mask = u16(at + 2);
    }
    return (userPerm & mask & kReadWrite) == kReadWrite;
}

// Why the library would not use a board's state file; empty when it would.
std::string stateProblem(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return {};
    if (S_ISLNK(st.st_mode))
        return "is a symbolic link";
    if (!S_ISREG(st.st_mode))
        return "is not a file";
    if (st.st_uid != ::geteuid())
        return "belongs to " + userName(st.st_uid);
    return {};
}

}  // namespace

std::vector<std::string> udevRuleFolders()
{
    return {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/local/lib/udev/rules.d", "/usr/lib/udev/rules.d",
            "/lib/udev/rules.d"};
}

std::vector<UdevRule> installedRules(const std::vector<std::string>& folders, std::uint16_t vendorId,
                                     std::uint16_t productId)
{
    std::map<std::string, std::string> byName;  // file name -> path; the first folder naming it wins
    std::set<std::string> seen;                 // folders by their real path (/lib may be /usr/lib)
    for (const std::string& folder : folders) {
        char real[PATH_MAX];
        if (!::realpath(folder.c_str(), real) || !seen.insert(real).second)
            continue;
        DIR* dir = ::opendir(folder.c_str());
        if (!dir)
            continue;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 6 && name.compare(name.size() - 6, 6, ".rules") == 0)
                byName.emplace(name, folder + "/" + name);
        }
        ::closedir(dir);
    }
    std::vector<UdevRule> rules;
    for (const auto& [name, path] : byName) {
        std::vector<UdevRule> found = matchingRules(path, readText(path), vendorId, productId);
        rules.insert(rules.end(), found.begin(), found.end());
    }
    return rules;
}

UserFacts currentUser()
{
    UserFacts user;
    const uid_t uid = ::geteuid();
    user.name = userName(uid);
    user.root = uid == 0;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(std::size_t(std::max(count, 0)));
    if (count > 0 && ::getgroups(count, groups.data()) == count)
        for (gid_t gid : groups)
            user.sessionGroups.push_back(groupName(gid));
    user.sessionGroups.push_back(groupName(::getegid()));
    if (const passwd* account = ::getpwuid(uid)) {
        int n = 64;
        std::vector<gid_t> accountGroups(64);
        if (::getgrouplist(account->pw_name, account->pw_gid, accountGroups.data(), &n) < 0) {
            accountGroups.resize(std::size_t(n));
            ::getgrouplist(account->pw_name, account->pw_gid, accountGroups.data(), &n);
        }
        accountGroups.resize(std::size_t(std::max(n, 0)));
        for (gid_t gid : accountGroups)
            user.accountGroups.push_back(groupName(gid));
    }
    return user;
}

NodeFacts nodeFacts(const std::string& path, int openError)
{
    NodeFacts node;
    node.path = path;
    node.openError = openError;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        node.owner = userName(st.st_uid);
        node.group = groupName(st.st_gid);
        node.mode = st.st_mode & 07777;
    }
    node.aclGivesUser = aclGivesUser(path, ::geteuid());
    return node;
}

Installer installerFor(std::uint16_t vendorId, std::uint16_t productId)
{
    Installer installer;
    const std::vector<kousb::usb::UsbId> ours = kousb::usb::defaultUsbIds();
    if (std::find(ours.begin(), ours.end(), kousb::usb::UsbId{vendorId, productId}) == ours.end()) {
        char pair[16];
        std::snprintf(pair, sizeof pair, "%04x:%04x", vendorId, productId);
        installer.pairArgument = pair;
    }
    // Installed beside this program (PREFIX/share/kousb); run from a build
    // tree, the one in the source tree, as the README names it.
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir = n > 0 ? std::string(exe, std::size_t(n)) : std::string();
    dir.erase(dir.rfind('/') + 1);
    const std::string installed = dir + "../share/kousb/install-udev-rule.sh";
    char real[PATH_MAX];
    installer.path = !dir.empty() && ::realpath(installed.c_str(), real) ? real : "packaging/install-udev-rule.sh";
    return installer;
}

SimFolderFacts simFolderFacts(const std::map<int, std::pair<std::int32_t, std::string>>& listed)
{
    SimFolderFacts facts;
    facts.dir = kousb::sim::defaultDirectory();
    const char* named = std::getenv("KOUSB_SIM_DIR");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    facts.source = named && *named ? "KOUSB_SIM_DIR" : runtime && *runtime ? "XDG_RUNTIME_DIR" : "the temporary folder";
    struct stat st;
    facts.exists = ::stat(facts.dir.c_str(), &st) == 0;
    if (!facts.exists)
        return facts;
    facts.owner = userName(st.st_uid);
    facts.mode = st.st_mode & 07777;
    facts.ownedByUser = st.st_uid == ::geteuid();
    const kousb::sim::BoardStore store(facts.dir);
    if (!store.check(facts.problem, false))
        return facts;
    facts.problem.clear();
    const auto usable = store.boards([&](const std::string& path, const std::string& reason) {
        SimBoardFacts board;
        board.slot = kousb::sim::slotFromFileName(path.substr(path.rfind('/') + 1));
        board.file = path;
        board.fileProblem = reason;
        facts.boards.push_back(board);
    });
    for (const auto& [slot, entry] : usable) {
        SimBoardFacts board;
        board.slot = slot;
        board.file = entry.path;
        board.stateFile = kousb::sim::stateFilePath(entry.path);
        board.stateProblem = stateProblem(board.stateFile);
        if (auto it = listed.find(slot); it != listed.end()) {
            board.listed = true;
            board.id = it->second.first;
            board.name = it->second.second;
        } else {
            const kousb::BoardIdentity identity = kousb::eeprom::readIdentity(entry.config.eeprom);
            board.id = identity.id;
            board.name = identity.name;
        }
        facts.boards.push_back(board);
    }
    std::sort(facts.boards.begin(), facts.boards.end(),
              [](const SimBoardFacts& a, const SimBoardFacts& b) { return a.slot < b.slot; });
    return facts;
}

}  // namespace doctor
