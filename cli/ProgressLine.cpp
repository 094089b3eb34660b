#include "cli/ProgressLine.h"

#include "cli/SystemIo.h"

#include <cstdio>
#include <string>

namespace kestrino::cli {

ProgressLine::ProgressLine(std::uint64_t total, bool enabled)
    : total_(total), enabled_(enabled), start_(Clock::now()), next_(start_ + std::chrono::seconds(1)) {}

ProgressLine::~ProgressLine() { Clear(); }

void ProgressLine::Update(std::uint64_t done, std::uint64_t lines) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (now < next_) return;
    next_ = now + std::chrono::milliseconds(200);

    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double perSecond = static_cast<double>(lines) / seconds;
    char text[96];
    int n = 0;
    if (total_ > 0 && done <= total_) {
        const double fraction = static_cast<double>(done) / static_cast<double>(total_);
        const double left = fraction > 0 ? seconds * (1 - fraction) / fraction : 0;
        const auto whole = static_cast<long long>(left + 0.5);
        n = std::snprintf(text, sizeof text, "\r%3d%%  %.1f M lines/s  %lld:%02lld left", static_cast<int>(fraction * 100),
                          perSecond / 1e6, whole / 60, whole % 60);
    } else {
        n = std::snprintf(text, sizeof text, "\r%.1f M lines/s", perSecond / 1e6);
    }
    if (n <= 1) return;
    std::string line(text, static_cast<std::size_t>(n));
    const std::size_t width = line.size() - 1;
    if (width < shown_) line.append(shown_ - width, ' ');  // over the rest of a longer line
    shown_ = width;
    WriteStandardError(line);
}

void ProgressLine::Clear() {
    if (shown_ == 0) return;
    std::string blank(shown_ + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    WriteStandardError(blank);
    shown_ = 0;
}

}  // namespace kestrino::cli
