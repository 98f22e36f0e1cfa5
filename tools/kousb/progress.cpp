// SPDX-License-Identifier: MIT
#include "progress.h"

#include <cstdio>
#include <unistd.h>

namespace cli {

namespace {

constexpr int kBarWidth = 30;
// Redraws at most this often unless the percentage changed, so a fast hook
// does not flood the terminal.
constexpr std::chrono::milliseconds kRedrawInterval{200};

}  // namespace

std::string progressLine(const std::string& label, long long done, long long total, double elapsedSeconds, int width)
{
    if (total <= 0)
        total = 1;
    if (done < 0)
        done = 0;
    if (done > total)
        done = total;
    const int marks = static_cast<int>(done * width / total);
    const int percent = static_cast<int>(done * 100 / total);
    std::string line = label + " [" + std::string(marks, '#') + std::string(width - marks, '.') + "] ";
    char text[48];
    std::snprintf(text, sizeof text, "%3d%%", percent);
    line += text;
    if (done > 0 && elapsedSeconds >= 0) {
        const long long left = static_cast<long long>(elapsedSeconds * (total - done) / done + 0.5);
        std::snprintf(text, sizeof text, "  %lld:%02lld left", left / 60, left % 60);
        line += text;
    }
    return line;
}

ProgressBar::ProgressBar(std::string label, bool quiet)
    : m_label(std::move(label)), m_enabled(!quiet && ::isatty(STDERR_FILENO) == 1)
{
}

ProgressBar::~ProgressBar()
{
    if (m_drawn)
        std::fputs("\r\033[K", stderr);
}

void ProgressBar::update(long long done, long long total)
{
    if (!m_enabled)
        return;
    const auto now = std::chrono::steady_clock::now();
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 0;
    if (m_drawn && percent == m_lastPercent && now - m_lastDraw < kRedrawInterval)
        return;
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    std::fprintf(stderr, "\r%s\033[K", progressLine(m_label, done, total, elapsed, kBarWidth).c_str());
    std::fflush(stderr);
    m_drawn = true;
    m_lastPercent = percent;
    m_lastDraw = now;
}

void ProgressBar::hook(void* context, long long done, long long total)
{
    static_cast<ProgressBar*>(context)->update(done, total);
}

}  // namespace cli
