#include "ui/MemoSink.h"

#include <windows.h>

#include <algorithm>

#include "core/Exception.h"
#include "core/NumberText.h"
#include "ui/Application.h"
#include "ui/Memo.h"

namespace kestrino {

namespace {
double Milliseconds() {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}
}  // namespace

TMemoSink::TMemoSink(TMemo& memo, ShowCount showCount, ShouldStop shouldStop)
    : memo_(memo), showCount_(std::move(showCount)), shouldStop_(std::move(shouldStop)), lastFlushTick_(GetTickCount64()) {}

void TMemoSink::AddLine(std::string_view line) {
    pending_.append(line);
    pending_.append("\r\n");
    lineEnds_.push_back(pending_.size());
}

void TMemoSink::LinesDone(std::int32_t count) {
    count_ = count;
    // The tick count is cheap enough to read after every line.
    if (plan_.FlushDue(lineEnds_.size(), static_cast<double>(GetTickCount64() - lastFlushTick_))) Flush();
}

void TMemoSink::Flush(bool last) {
    const std::size_t lines = lineEnds_.size();
    const double start = Milliseconds();
    AppendPending();
    const double appended = Milliseconds();
    const FillPlan::Step step = plan_.Appended(lines, appended - start, appended, last, count_ > 0);
    if (step.showCount) showCount_(count_);
    if (step.repaint) memo_.Repaint();
    Application().ProcessMessages();
    if (!last && shouldStop_ && shouldStop_()) {
        // Everything collected is on the page: it ends with whole lines, counted.
        if (count_ > 0) showCount_(count_);
        memo_.Repaint();
        throw RunStopped{};
    }
    const double done = Milliseconds();
    plan_.EventsProcessed(step.repaint, done - appended, done);
    lastFlushTick_ = GetTickCount64();
}

void TMemoSink::AppendPending() {
    if (pending_.empty()) return;
    // Appended one by one, lines after a text that does not end with a line
    // break would each come after a CR LF instead of before one.
    const bool afterBreak = memo_.EndsWithLineBreakOrEmpty();
    const std::size_t limit = std::min(kCapacity, memo_.Limit());
    const std::size_t length = memo_.Length();
    const std::size_t room = limit > length ? limit - length : 0;

    // Every character a run writes is ASCII: one byte, one character.
    std::size_t lines = lineEnds_.size();
    while (lines > 0 && lineEnds_[lines - 1] > room) --lines;
    bool full = lines < lineEnds_.size();
    if (lines > 0) {
        const std::size_t size = lineEnds_[lines - 1];
        const std::string_view text(pending_.data(), size);
        bool appended = false;
        if (afterBreak) {
            appended = memo_.AppendText(text);
        } else {
            std::string moved = "\r\n";
            moved.append(text.substr(0, size - 2));
            appended = memo_.AppendText(moved);
        }
        if (appended) {
            linesWritten_ += lines;
        } else {
            full = true;
        }
    }
    pending_.clear();
    lineEnds_.clear();
    if (full) {
        const std::int32_t bodyLines = linesWritten_ > 0 ? static_cast<std::int32_t>(linesWritten_ - 1) : 0;
        if (bodyLines > 0) showCount_(bodyLines);
        count_ = 0;
        throw Exception("The result page can hold no more text: the run stopped after " + IntToText(bodyLines) +
                        (bodyLines == 1 ? " line" : " lines"));
    }
}

}  // namespace kestrino
