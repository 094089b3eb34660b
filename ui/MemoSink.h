#pragma once
// The run's progress sink for the result page: lines are collected and
// appended in batches that FillPlan sizes from measured costs, the count is
// shown through a callback, and pending events are processed after each
// append. The page ends byte for byte as appending each line would leave it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ImeiList.h"
#include "ui/FillPlan.h"

namespace kestrino {

class TMemo;

// Thrown by the sink to end a run that was asked to stop; not an error.
struct RunStopped {};

class TMemoSink final : public ProgressSink {
public:
    // Most characters the result page takes; a run stops there with a message.
    static constexpr std::size_t kCapacity = 64u << 20;

    using ShowCount = std::function<void(std::int32_t bodyLines)>;
    // Asked after each round of event processing; true ends the run there.
    using ShouldStop = std::function<bool()>;
    TMemoSink(TMemo& memo, ShowCount showCount, ShouldStop shouldStop = {});

    void AddLine(std::string_view line) override;
    void LinesDone(std::int32_t count) override;
    // Appends what is collected, shows the count, processes pending events;
    // the last flush of a run always repaints the page. Throws Exception when
    // the page can take no more lines, and RunStopped, with every line
    // collected so far shown and counted, when the run was asked to stop
    // while events were processed.
    void Flush(bool last = false);

private:
    void AppendPending();

    TMemo& memo_;
    ShowCount showCount_;
    ShouldStop shouldStop_;
    FillPlan plan_;
    std::string pending_;
    std::vector<std::size_t> lineEnds_;
    std::size_t linesWritten_ = 0;
    std::int32_t count_ = 0;
    unsigned long long lastFlushTick_;
};

}  // namespace kestrino
