#pragma once
// How a run fills the result page: how many lines to collect before each
// append, when to repaint the page and when to show the count. It works on
// costs the caller measures, in milliseconds, and holds no window, so that
// the policy can be tried against any cost model.
//
// An append costs the page a fixed part, which grows with the lines it holds,
// plus a part per line; painting costs more the more lines it holds. Batches
// aim at a short gap between two rounds of event processing while the fixed
// part allows, and otherwise grow so that the fixed part stays a small share
// of each append. Repaints come as often as keeps painting a small share of
// the run, and always at its end.

#include <cstddef>

namespace kestrino {

class FillPlan {
public:
    // Longest time between two rounds of event processing that batches aim at.
    static constexpr double kGapMs = 30.0;
    // No batch holds more lines than a quarter of a second of appending.
    static constexpr double kLongestAppendMs = 250.0;
    // Time between two repaints, as a multiple of what the last one took.
    static constexpr double kRepaintShare = 8.0;
    // The count is shown ten times a second: drawing the status bar costs as
    // much as appending a hundred lines.
    static constexpr double kCountIntervalMs = 100.0;
    // Lines are appended at least this often while the batch fills.
    static constexpr double kSliceMs = 16.0;
    static constexpr std::size_t kFirstBatch = 256;
    static constexpr std::size_t kSmallestBatch = 64;
    static constexpr std::size_t kLargestBatch = 100000;

    // Whether the lines collected should be appended now.
    bool FlushDue(std::size_t pendingLines, double sinceLastFlushMs) const {
        return pendingLines >= batchLimit_ || sinceLastFlushMs >= kSliceMs;
    }

    struct Step {
        bool repaint;
        bool showCount;
    };
    // An append of `lines` took appendMs and ended at nowMs (any clock that
    // only moves forward). Says whether to repaint the page and whether to
    // show the count; the last append of a run always does both.
    Step Appended(std::size_t lines, double appendMs, double nowMs, bool last, bool haveCount);

    // The repaint, if any, and the event processing after an append took ms
    // and ended at nowMs; plans the next batch.
    void EventsProcessed(bool repainted, double ms, double nowMs);

    std::size_t BatchLimit() const { return batchLimit_; }
    // Estimates so far; 0 until measured.
    double PerLineMs() const { return perLineMs_; }
    double FixedMs() const { return fixedMs_; }

private:
    void LearnAppendCost(std::size_t lines, double ms);
    void PlanNextBatch(double eventsMs);

    std::size_t batchLimit_ = kFirstBatch;
    double perLineMs_ = 0;
    double fixedMs_ = 0;
    double eventsMs_ = 0;
    double repaintMs_ = 0;
    double nextRepaintMs_ = 0;
    double lastCountMs_ = 0;
    std::size_t calibrationLines_ = 0;
    double calibrationMs_ = 0;
    bool lastWasHigh_ = false;
};

}  // namespace kestrino
