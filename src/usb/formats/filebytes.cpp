// SPDX-License-Identifier: MIT
#include "filebytes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kousb::formats {

namespace {

// Binary mode where the platform has a text mode; no controlling terminal and
// no inheriting by child processes where it has those.
constexpr int kOpenFlags = O_RDONLY
#ifdef O_BINARY
                           | O_BINARY
#endif
#ifdef O_CLOEXEC
                           | O_CLOEXEC
#endif
#ifdef O_NOCTTY
                           | O_NOCTTY
#endif
    ;

Status openError()
{
    if (errno == ENOENT || errno == ENOTDIR)
        return Status::error(ErrorCode::FileNotFound);
    return Status::error(ErrorCode::FileUnreadable, std::strerror(errno));
}

// An open regular file, closed on every path out.
class OpenFile {
public:
    explicit OpenFile(const std::string& path, int extraFlags = 0) : m_fd(::open(path.c_str(), kOpenFlags | extraFlags))
    {
    }
    ~OpenFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    // Opens and checks the file; `size` is its length.
    Status check(std::uint64_t& size, bool ownOnly = false)
    {
        if (m_fd < 0)
            return errno == ELOOP && ownOnly ? Status::error(ErrorCode::FileUnreadable, "a symbolic link")
                                             : openError();
        struct stat st;
        if (::fstat(m_fd, &st) != 0)
            return Status::error(ErrorCode::FileUnreadable, std::strerror(errno));
        if (!S_ISREG(st.st_mode))
            return Status::error(ErrorCode::FileUnreadable, "not a regular file");
#ifndef _WIN32
        if (ownOnly && st.st_uid != ::geteuid())
            return Status::error(ErrorCode::FileUnreadable,
                                 "not your own file (owner " + std::to_string(st.st_uid) + ")");
#endif
        size = static_cast<std::uint64_t>(st.st_size);
        return Status::ok();
    }

    // Appends at most `limit` bytes to `out`; stops early at the end of the file.
    Status read(std::size_t limit, std::vector<std::uint8_t>& out)
    {
        std::uint8_t buffer[16384];
        while (limit > 0) {
            const std::size_t want = limit < sizeof buffer ? limit : sizeof buffer;
            const ssize_t n = ::read(m_fd, buffer, want);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return Status::error(ErrorCode::FileUnreadable, std::strerror(errno));
            if (n == 0)
                break;
            out.insert(out.end(), buffer, buffer + n);
            limit -= static_cast<std::size_t>(n);
        }
        return Status::ok();
    }

private:
    int m_fd;
};

Status tooLarge(std::uint64_t size, std::size_t maxBytes)
{
    return Status::error(ErrorCode::BadFile, "file too large (" + std::to_string(size) + " bytes, at most "
                                                 + std::to_string(maxBytes) + ")");
}

}  // namespace

namespace {

Status readWhole(OpenFile& file, bool ownOnly, std::size_t maxBytes, std::vector<std::uint8_t>& content)
{
    std::uint64_t size = 0;
    if (Status s = file.check(size, ownOnly); !s)
        return s;
    if (size > maxBytes)
        return tooLarge(size, maxBytes);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(size));
    // One byte beyond the limit tells a file that grew since fstat.
    if (Status s = file.read(maxBytes + 1, bytes); !s)
        return s;
    if (bytes.size() > maxBytes)
        return tooLarge(bytes.size(), maxBytes);
    content = std::move(bytes);
    return Status::ok();
}

}  // namespace

Status readWholeFile(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& content)
{
    OpenFile file(path);
    return readWhole(file, false, maxBytes, content);
}

Status readOwnFile(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& content)
{
#ifdef O_NOFOLLOW
    OpenFile file(path, O_NOFOLLOW);
#else
    OpenFile file(path);
#endif
    return readWhole(file, true, maxBytes, content);
}

Status readFileHead(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& head,
                    std::uint64_t& fileSize)
{
    OpenFile file(path);
    std::uint64_t size = 0;
    if (Status s = file.check(size); !s)
        return s;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(size < maxBytes ? size : maxBytes));
    if (Status s = file.read(maxBytes, bytes); !s)
        return s;
    // Short of the limit means the end was reached: the bytes read are the file,
    // even if it changed since fstat.
    fileSize = bytes.size() < maxBytes ? bytes.size() : std::max<std::uint64_t>(size, bytes.size());
    head = std::move(bytes);
    return Status::ok();
}

}  // namespace kousb::formats
