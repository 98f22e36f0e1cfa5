// SPDX-License-Identifier: MIT
#include "s51console.h"

#include "formats/hexdigit.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Longest silence of s51 before it counts as hung: a guard against a
// simulator that died or loops, not a timing of the firmware.
constexpr int kAnswerWithinMs = 60000;

}  // namespace

S51Console::S51Console(const std::string& s51, const std::string& shim)
{
    int toChild[2], fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("cannot make pipes for s51: ") + std::strerror(errno));
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(toChild[0], 0);
        ::dup2(fromChild[1], 1);
        ::dup2(fromChild[1], 2);
        ::setenv("LD_PRELOAD", shim.c_str(), 1);
        ::execl(s51.c_str(), "s51", "-b", "-P", "-t", "8052", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    m_in = toChild[1];
    m_out = fromChild[0];
    if (m_pid < 0)
        throw std::runtime_error(std::string("cannot start s51: ") + std::strerror(errno));
    // The banner has no prompt; the first prompt follows this command.
    exec("set console interactive on");
}

S51Console::~S51Console()
{
    if (m_in >= 0) {
        static const char quit[] = "quit\n";
        (void)!::write(m_in, quit, sizeof quit - 1);
        ::close(m_in);
    }
    if (m_out >= 0)
        ::close(m_out);
    if (m_pid > 0) {
        int status = 0;
        for (int i = 0; i < 100 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i)
            ::usleep(10000);
        if (::waitpid(m_pid, &status, WNOHANG) == 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
    }
}

std::string S51Console::readAnswer()
{
    for (;;) {
        const auto end = m_buffer.find('\0');
        if (end != std::string::npos) {
            std::string answer = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return answer;
        }
        pollfd p{m_out, POLLIN, 0};
        const int ready = ::poll(&p, 1, kAnswerWithinMs);
        if (ready == 0)
            throw std::runtime_error("s51 did not answer; its last output: " + m_buffer.substr(0, 2000));
        char chunk[65536];
        const ssize_t n = ready > 0 ? ::read(m_out, chunk, sizeof chunk) : -1;
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            throw std::runtime_error("s51 ended; its last output: " + m_buffer.substr(0, 2000));
        }
        m_buffer.append(chunk, std::size_t(n));
    }
}

std::vector<std::string> S51Console::exec(const std::vector<std::string>& commands)
{
    std::string text;
    for (const std::string& c : commands)
        text += c + "\n";
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t n = ::write(m_in, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw std::runtime_error(std::string("cannot write to s51: ") + std::strerror(errno));
        at += std::size_t(n);
    }
    std::vector<std::string> answers;
    for (std::size_t i = 0; i < commands.size(); ++i)
        answers.push_back(readAnswer());
    return answers;
}

std::string hexNumber(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

namespace {

int hexValue(char c) { return kousb::formats::hexDigitValue(static_cast<unsigned char>(c)); }

bool isGap(char c) { return c == ' ' || c == '\t'; }

}  // namespace

void forEachDumpByte(const std::string& text, const std::function<void(std::uint32_t, std::uint8_t)>& use)
{
    const char* p = text.c_str();
    const char* const end = p + text.size();
    while (p < end) {
        const char* const line = p;
        while (p < end && *p != '\n')
            ++p;
        const char* const lineEnd = p++;
        if (lineEnd - line < 3 || line[0] != '0' || line[1] != 'x')
            continue;
        const char* q = line + 2;
        std::uint32_t address = 0;
        int digits = 0;
        for (int v; q < lineEnd && (v = hexValue(*q)) >= 0; ++q, ++digits)
            address = address << 4 | std::uint32_t(v);
        if (!digits || q == lineEnd || !isGap(*q))
            continue;
        // Bytes are the two-digit words that follow; the text column ends them.
        for (;;) {
            while (q < lineEnd && isGap(*q))
                ++q;
            if (lineEnd - q < 2 || hexValue(q[0]) < 0 || hexValue(q[1]) < 0 || (q + 2 < lineEnd && !isGap(q[2])))
                break;
            use(address++, std::uint8_t(hexValue(q[0]) << 4 | hexValue(q[1])));
            q += 2;
        }
    }
}

std::map<std::uint32_t, std::uint8_t> parseDump(const std::string& text, std::uint32_t first, std::uint32_t last)
{
    std::map<std::uint32_t, std::uint8_t> bytes;
    forEachDumpByte(text, [&](std::uint32_t address, std::uint8_t value) {
        if (address >= first && address <= last)
            bytes[address] = value;
    });
    return bytes;
}

S51Stop parseStop(const std::string& text)
{
    // "Event `write' at xram[0xe68b]: ..." for each breakpoint that hit, and
    // "Simulated 11832 ticks (...)".
    static const std::string event = "Event `", ticks = "Simulated ";
    S51Stop stop;
    for (std::size_t at = text.find(event); at != std::string::npos; at = text.find(event, at + 1)) {
        const std::size_t kind = at + event.size(), space = text.find(" at ", kind), bracket = text.find("[0x", space);
        if (space == std::string::npos || bracket == std::string::npos)
            break;
        stop.accesses.push_back({text.substr(space + 4, bracket - space - 4),
                                 std::uint32_t(std::strtoul(text.c_str() + bracket + 3, nullptr, 16)),
                                 text.compare(kind, 5, "write") == 0});
    }
    for (std::size_t at = text.find(ticks); at != std::string::npos; at = text.find(ticks, at + 1))
        stop.ticks += std::strtoull(text.c_str() + at + ticks.size(), nullptr, 10);
    return stop;
}
