// SPDX-License-Identifier: MIT
#include "atomicfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace kousb {

namespace {

std::string systemError(const std::string& what, int error) { return what + ": " + std::strerror(error); }

bool writeAll(int fd, const std::string& content)
{
    const char* p = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// The process ID keeps the names of concurrent writers apart even when a
// forked child starts with its parent's generator state; the random part
// keeps them unguessable.
std::string randomSuffix()
{
    static thread_local pid_t seededFor = 0;
    static thread_local std::mt19937_64 generator;
    const pid_t pid = ::getpid();
    if (seededFor != pid) {
        generator.seed((std::uint64_t(std::random_device{}()) << 32) ^ std::random_device{}() ^ std::uint64_t(pid));
        seededFor = pid;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%ld.%016llx", static_cast<long>(pid),
                  static_cast<unsigned long long>(generator()));
    return text;
}

// Creates a new, empty temporary file beside the destination; never opens
// an existing name, so nothing planted there is written through.
int createTemporary(const std::string& dir, const std::string& base, std::string& temp)
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        temp = dir + "/." + base + "." + randomSuffix() + ".tmp";
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Swaps the temporary file into place; the old content ends at `temp`.
bool exchange(const std::string& temp, const std::string& path)
{
#if defined(__linux__) && defined(RENAME_EXCHANGE)
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    // File systems without an atomic exchange: a short window remains in
    // which a file removed right now would come back.
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return false;
    return ::rename(temp.c_str(), path.c_str()) == 0;
}

bool replace(const std::string& temp, const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    return ::rename(temp.c_str(), path.c_str()) == 0;
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// A rename is durable only once the folder that holds the name is flushed.
void flushFolder(const std::string& dir)
{
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

}  // namespace

bool flushToDisk(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    flushFolder(folderOf(path));
    return ok;
}

bool writeFileAtomic(const std::string& path, const std::string& content, WriteMode mode, std::string& error,
                     bool durable)
{
    const auto slash = path.find_last_of('/');
    const std::string dir = folderOf(path);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty()) {
        error = "cannot write " + path + ": no file name";
        return false;
    }

    std::string temp;
    const int fd = createTemporary(dir, base, temp);
    if (fd < 0) {
        error = systemError("cannot write " + path + ": cannot create a file in " + dir, errno);
        return false;
    }
    bool ok = writeAll(fd, content) && (!durable || ::fsync(fd) == 0);
    int failure = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    if (!ok)
        error = systemError("cannot write " + path, failure);
    if (ok) {
        switch (mode) {
        case WriteMode::CreateNew:
            // link() refuses an existing name, so two writers cannot both create it.
            if (::link(temp.c_str(), path.c_str()) != 0) {
                ok = false;
                error = errno == EEXIST ? path + " already exists" : systemError("cannot create " + path, errno);
            }
            break;
        case WriteMode::ReplaceExisting:
            if (!exchange(temp, path)) {
                ok = false;
                error = errno == ENOENT ? path + " has been removed" : systemError("cannot replace " + path, errno);
            }
            break;
        case WriteMode::CreateOrReplace:
            if (!replace(temp, path)) {
                ok = false;
                error = systemError("cannot write " + path, errno);
            }
            break;
        }
    }
    // After an exchange or a link the temporary name holds the old content or
    // a second link; after a failure, the new one. Either way it goes.
    ::unlink(temp.c_str());
    if (ok && durable)
        flushFolder(dir);
    return ok;
}

}  // namespace kousb
