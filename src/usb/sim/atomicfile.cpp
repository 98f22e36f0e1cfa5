#include "atomicfile.h"

#include "../formats/filebytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kousb::sim {

namespace {

std::string systemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

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
    if (::stat(path.c_str(), &st) != 0)
        return false;
    return ::rename(temp.c_str(), path.c_str()) == 0;
}

} // namespace

bool writeFileAtomic(const std::string& path, const std::string& content, WriteMode mode, bool durable,
                     std::string& error)
{
    const auto slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = dir + "/." + base + ".XXXXXX";

    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = systemError("cannot create a temporary file in " + dir);
        return false;
    }
    bool ok = writeAll(fd, content) && (!durable || ::fsync(fd) == 0);
    if (!ok)
        error = systemError("cannot write " + temp);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = systemError("cannot write " + temp);
    }
    if (ok) {
        if (mode == WriteMode::CreateNew) {
            // link() refuses an existing name, so two writers cannot both create it.
            if (::link(temp.c_str(), path.c_str()) != 0) {
                ok = false;
                error = errno == EEXIST ? path + " already exists" : systemError("cannot create " + path);
            }
        } else if (!exchange(temp, path)) {
            ok = false;
            error = errno == ENOENT ? path + " has been removed" : systemError("cannot replace " + path);
        }
    }
    ::unlink(temp.c_str());
    if (ok && durable) {
        const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
    }
    return ok;
}

bool readSmallFile(const std::string& path, std::size_t maxBytes, std::string& content, std::string& error)
{
    std::vector<std::uint8_t> bytes;
    const Status status = formats::readWholeFile(path, maxBytes, bytes);
    if (!status) {
        error = path + ": " + status.message();
        return false;
    }
    content.assign(bytes.begin(), bytes.end());
    return true;
}

} // namespace kousb::sim
