#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace kestrino::cli {

// A one-line progress display on standard error: percent, lines per second
// and time left. It appears only when enabled (standard error is a terminal)
// and the work has lasted about a second, and it is cleared at the end.
class ProgressLine {
public:
    // total: units of work to do (lines or bytes), 0 when unknown.
    ProgressLine(std::uint64_t total, bool enabled);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // done units and lines so far. Cheap: redraws at most five times a second.
    void Update(std::uint64_t done, std::uint64_t lines);
    // Removes the line, so that messages start at the left margin.
    void Clear();

private:
    using Clock = std::chrono::steady_clock;
    std::uint64_t total_;
    bool enabled_;
    Clock::time_point start_;
    Clock::time_point next_;
    std::size_t shown_ = 0;  // characters of the line now on screen
};

}  // namespace kestrino::cli
