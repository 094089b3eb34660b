#include "ui/FillPlan.h"

#include <algorithm>

namespace kestrino {

FillPlan::Step FillPlan::Appended(std::size_t lines, double appendMs, double nowMs, bool last, bool haveCount) {
    LearnAppendCost(lines, appendMs);
    const bool repaint = last || nowMs >= nextRepaintMs_;
    const bool showCount = haveCount && (repaint || nowMs >= lastCountMs_ + kCountIntervalMs);
    if (showCount) lastCountMs_ = nowMs;
    return {repaint, showCount};
}

void FillPlan::EventsProcessed(bool repainted, double ms, double nowMs) {
    (repainted ? repaintMs_ : eventsMs_) = ms;
    if (repainted) nextRepaintMs_ = nowMs + kRepaintShare * repaintMs_;
    // The next round of events includes a repaint when one falls due by then.
    PlanNextBatch(nowMs + kGapMs >= nextRepaintMs_ ? repaintMs_ : eventsMs_);
}

void FillPlan::LearnAppendCost(std::size_t lines, double ms) {
    // Too few lines say more about the clock than about the page.
    if (lines < kSmallestBatch) return;
    if (perLineMs_ == 0) {
        // Two appends of different sizes tell the cost per line apart from
        // the fixed part.
        if (calibrationLines_ == 0 || lines <= calibrationLines_) {
            calibrationLines_ = lines;
            calibrationMs_ = ms;
            return;
        }
        const double slope = (ms - calibrationMs_) / static_cast<double>(lines - calibrationLines_);
        perLineMs_ = slope > 0 ? slope : ms / static_cast<double>(lines);
    }
    // An append never costs less than its lines.
    perLineMs_ = std::min(perLineMs_, ms / static_cast<double>(lines));
    // Smoothed, and a lone sample above twice the estimate counts as twice
    // the estimate: a single slow append (the page growing its buffer) should
    // not make the next batches long. A second one in a row counts in full,
    // so that a fixed part that grows with the page is followed at once.
    const double fixed = std::max(0.0, ms - perLineMs_ * static_cast<double>(lines));
    const bool high = fixedMs_ > 0 && fixed > 2 * fixedMs_;
    const double sample = high && !lastWasHigh_ ? 2 * fixedMs_ : fixed;
    lastWasHigh_ = high;
    fixedMs_ = fixedMs_ == 0 ? fixed : 0.75 * fixedMs_ + 0.25 * sample;
}

void FillPlan::PlanNextBatch(double eventsMs) {
    if (perLineMs_ == 0) {
        // Still calibrating: the second append is four times the first.
        batchLimit_ = calibrationLines_ ? calibrationLines_ * 4 : batchLimit_;
        return;
    }
    // The next flush should fit the gap with the events it will process; where
    // the fixed part of an append grows too large for that, batches grow so
    // that it stays within a fifth of the append.
    const double withinGap = (kGapMs - eventsMs - fixedMs_) / perLineMs_;
    const double amortised = 4 * fixedMs_ / perLineMs_;
    // Growing at most twofold a step, and never past a quarter of a second of
    // lines, keeps one bad estimate from a long stall.
    const double next = std::min({std::max(withinGap, amortised), 2.0 * static_cast<double>(batchLimit_),
                                  kLongestAppendMs / perLineMs_});
    batchLimit_ = static_cast<std::size_t>(
        std::clamp(next, static_cast<double>(kSmallestBatch), static_cast<double>(kLargestBatch)));
}

}  // namespace kestrino
