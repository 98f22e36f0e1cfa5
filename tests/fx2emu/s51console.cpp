#include "s51console.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <regex>
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

std::map<std::uint32_t, std::uint8_t> parseDump(const std::string& text, std::uint32_t first, std::uint32_t last)
{
    std::map<std::uint32_t, std::uint8_t> bytes;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.compare(0, 2, "0x") != 0)
            continue;
        char* rest = nullptr;
        const unsigned long address = std::strtoul(line.c_str() + 2, &rest, 16);
        if (rest == line.c_str() + 2 || (*rest != ' ' && *rest != '\t'))
            continue;
        // Bytes are the two-digit words that follow; the text column ends them.
        std::uint32_t a = std::uint32_t(address);
        const char* p = rest;
        for (;;) {
            while (*p == ' ' || *p == '\t')
                ++p;
            if (!std::isxdigit(static_cast<unsigned char>(p[0])) || !std::isxdigit(static_cast<unsigned char>(p[1]))
                || (p[2] != ' ' && p[2] != '\t' && p[2] != '\0'))
                break;
            if (a >= first && a <= last)
                bytes[a] = std::uint8_t(std::strtoul(std::string(p, 2).c_str(), nullptr, 16));
            ++a;
            p += 2;
        }
    }
    return bytes;
}

S51Stop parseStop(const std::string& text)
{
    static const std::regex event(R"(Event `(read|write)' at (xram|sfr|bits)\[0x([0-9a-fA-F]+)\])");
    static const std::regex ticks(R"(Simulated (\d+) ticks)");
    S51Stop stop;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), event); it != std::sregex_iterator(); ++it)
        stop.accesses.push_back(
            {(*it)[2].str(), std::uint32_t(std::stoul((*it)[3].str(), nullptr, 16)), (*it)[1].str() == "write"});
    for (auto it = std::sregex_iterator(text.begin(), text.end(), ticks); it != std::sregex_iterator(); ++it)
        stop.ticks += std::stoull((*it)[1].str());
    return stop;
}
