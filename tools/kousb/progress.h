// SPDX-License-Identifier: MIT
#pragma once
// A progress bar for long work, drawn on stderr only when stderr is a
// terminal, so piped or logged runs see nothing of it.
#include <chrono>
#include <string>

namespace cli {

// One redraw of the bar: "LABEL [#####.....]  50%  0:03 left", `width`
// marks wide. The time left is estimated from the rate so far and left
// out until something is done; `done` beyond `total` counts as `total`.
std::string progressLine(const std::string& label, long long done, long long total, double elapsedSeconds, int width);

class ProgressBar {
public:
    // A `quiet` bar draws nothing (a board's work among others in a batch).
    explicit ProgressBar(std::string label, bool quiet = false);
    ~ProgressBar();  // clears the bar's line
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(long long done, long long total);
    // The library's progress hook: `context` is a ProgressBar.
    static void hook(void* context, long long done, long long total);

private:
    std::string m_label;
    bool m_enabled;
    bool m_drawn = false;
    int m_lastPercent = -1;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_lastDraw;
};

}  // namespace cli
