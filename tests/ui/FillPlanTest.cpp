// The fill policy against cost models of the result page: a run of lines is
// simulated on a clock of its own, each append and repaint costing what the
// model says, and the gaps, shares and batch sizes the policy yields are
// checked.
#include "ui/FillPlan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <vector>

namespace kestrino {
namespace {

struct CostModel {
    double perLineMs;
    std::function<double(std::size_t linesHeld)> fixedMs;
    std::function<double(std::size_t linesHeld)> repaintMs;
    double eventsMs;
    std::size_t outlierFlush;  // this flush's append costs outlierMs more; 0 for none
    double outlierMs;
};

struct Flush {
    std::size_t lines;
    double appendMs;
    double fixedMs;
    double gapMs;  // the append and the event processing after it
    bool repainted;
    std::size_t batchLimitBefore;
    std::size_t batchLimitAfter;
};

struct SimulatedRun {
    std::vector<Flush> flushes;
    double totalMs = 0;
    double repaintMs = 0;
    std::size_t linesAppended = 0;
};

// The core writes a line every 0.1 microseconds; everything else costs what
// the model says.
SimulatedRun Simulate(const CostModel& model, std::size_t lines) {
    constexpr double kLineMs = 0.0001;
    FillPlan plan;
    SimulatedRun run;
    double now = 0;
    double sinceFlush = 0;
    std::size_t pending = 0;
    std::size_t held = 0;
    for (std::size_t k = 1; k <= lines; ++k) {
        now += kLineMs;
        sinceFlush += kLineMs;
        ++pending;
        const bool last = k == lines;
        if (!last && !plan.FlushDue(pending, sinceFlush)) continue;

        Flush f{};
        f.lines = pending;
        f.batchLimitBefore = plan.BatchLimit();
        f.fixedMs = model.fixedMs(held);
        f.appendMs = f.fixedMs + model.perLineMs * static_cast<double>(pending);
        if (run.flushes.size() + 1 == model.outlierFlush) f.appendMs += model.outlierMs;
        now += f.appendMs;
        const FillPlan::Step step = plan.Appended(pending, f.appendMs, now, last, true);
        held += pending;
        double events = model.eventsMs;
        if (step.repaint) {
            const double repaint = model.repaintMs(held);
            events += repaint;
            run.repaintMs += repaint;
        }
        now += events;
        plan.EventsProcessed(step.repaint, events, now);
        f.gapMs = f.appendMs + events;
        f.repainted = step.repaint;
        f.batchLimitAfter = plan.BatchLimit();
        run.flushes.push_back(f);
        run.linesAppended += pending;
        pending = 0;
        sinceFlush = 0;
    }
    run.totalMs = now;
    return run;
}

double Constant(double ms, std::size_t) { return ms; }

struct Scenario {
    const char* name;
    CostModel model;
    std::size_t lines;
    // Expectations once the first appends have calibrated the policy.
    double longestGapMs;      // between two rounds of event processing
    double largestFixedShare; // of an append, over the run's last tenth
    double largestRepaintShare;
    std::size_t smallestLateBatch;  // lines per append over the run's last tenth
};

using namespace std::placeholders;

const Scenario kScenarios[] = {
    // An edit control that appends cheaply: batches fill the gap, no more.
    {"cheap appends",
     {0.03, std::bind(Constant, 0.3, _1), std::bind(Constant, 5.0, _1), 1.0, 0, 0},
     300000, 1.5 * FillPlan::kGapMs, 0.05, 0.15, 500},
    // The fixed part grows with the lines held (55 ns a line, as measured
    // under Wine): batches grow so that it stays a small share.
    {"a growing fixed part",
     {0.03, [](std::size_t held) { return 55e-6 * static_cast<double>(held); },
      [](std::size_t held) { return 0.2e-3 * static_cast<double>(held); }, 1.0, 0, 0},
     // A gap may hold a quarter second of lines, the fixed part and a repaint.
     1000000, FillPlan::kLongestAppendMs + 55.0 + 200.0 + 10.0, 0.25, 0.15, 2000},
    // Painting costs far more than appending: repaints are spaced out.
    {"slow repaints",
     {0.03, std::bind(Constant, 0.3, _1), std::bind(Constant, 200.0, _1), 1.0, 0, 0},
     300000, 200.0 + 1.5 * FillPlan::kGapMs, 0.05, 0.15, 200},
    // One append takes half a second (the page growing its buffer): the
    // policy does not take it for the new normal.
    {"one slow outlier",
     {0.03, std::bind(Constant, 0.3, _1), std::bind(Constant, 5.0, _1), 1.0, 20, 500.0},
     300000, 1.5 * FillPlan::kGapMs, 0.05, 0.15, 500},
};

constexpr std::size_t kCalibrationFlushes = 6;

TEST(FillPlanTest, KeepsGapsShortAndOverheadsSmall) {
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        const SimulatedRun run = Simulate(s.model, s.lines);
        ASSERT_GT(run.flushes.size(), kCalibrationFlushes + 10);
        EXPECT_EQ(run.linesAppended, s.lines);
        EXPECT_TRUE(run.flushes.back().repainted) << "the run's end is always shown";

        for (std::size_t i = kCalibrationFlushes; i < run.flushes.size(); ++i) {
            const Flush& f = run.flushes[i];
            SCOPED_TRACE("flush " + std::to_string(i + 1));
            if (i + 1 == s.model.outlierFlush) continue;
            EXPECT_LE(f.gapMs, s.longestGapMs);
            EXPECT_LE(f.appendMs - f.fixedMs, FillPlan::kLongestAppendMs * 1.01) << "a batch past a quarter second";
            EXPECT_LE(f.batchLimitAfter, 2 * std::max(f.batchLimitBefore, FillPlan::kSmallestBatch))
                << "batches grow at most twofold a step";
        }

        const std::size_t lateFrom = run.flushes.size() - run.flushes.size() / 10;
        for (std::size_t i = lateFrom; i + 1 < run.flushes.size(); ++i) {
            const Flush& f = run.flushes[i];
            SCOPED_TRACE("late flush " + std::to_string(i + 1));
            EXPECT_LE(f.fixedMs / f.appendMs, s.largestFixedShare);
            EXPECT_GE(f.lines, s.smallestLateBatch);
        }
        EXPECT_LE(run.repaintMs / run.totalMs, s.largestRepaintShare);
    }
}

// After the outlier the batches stay what they were before it.
TEST(FillPlanTest, OneSlowAppendDoesNotLengthenTheNextBatches) {
    const Scenario& s = kScenarios[3];
    const SimulatedRun run = Simulate(s.model, s.lines);
    const std::size_t outlier = s.model.outlierFlush - 1;
    ASSERT_LT(outlier + 5, run.flushes.size());
    const std::size_t before = run.flushes[outlier].batchLimitBefore;
    for (std::size_t i = outlier; i < outlier + 5; ++i) {
        EXPECT_LE(run.flushes[i].batchLimitAfter, before + before / 10) << "flush " << i + 1;
    }
}

// Until two appends have told the cost per line apart from the fixed part,
// each batch is four times the one before.
TEST(FillPlanTest, CalibratesWithTwoAppendsOfDifferentSizes) {
    FillPlan plan;
    EXPECT_EQ(plan.BatchLimit(), FillPlan::kFirstBatch);
    EXPECT_TRUE(plan.FlushDue(FillPlan::kFirstBatch, 0));
    EXPECT_FALSE(plan.FlushDue(FillPlan::kFirstBatch - 1, 0));
    EXPECT_TRUE(plan.FlushDue(1, FillPlan::kSliceMs));

    plan.Appended(256, 2.0 + 256 * 0.01, 10, false, true);
    plan.EventsProcessed(false, 1.0, 11);
    EXPECT_EQ(plan.BatchLimit(), 1024u);
    plan.Appended(1024, 2.0 + 1024 * 0.01, 30, false, true);
    EXPECT_NEAR(plan.PerLineMs(), 0.01, 1e-9);
    EXPECT_NEAR(plan.FixedMs(), 2.0, 1e-9);
}

}  // namespace
}  // namespace kestrino
