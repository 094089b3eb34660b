#include "cli/ListPipeline.h"

#include "cli/LineBlock.h"
#include "core/ImeiList.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrino::cli {
namespace {

constexpr std::int32_t kStretchLines = 1 << 16;

// One stretch of the list: its lines, or the lines before its failing body
// and the error.
struct Stretch {
    explicit Stretch(std::string_view lineEnd) : block(kStretchLines, lineEnd) {}
    LineBlock block;
    std::exception_ptr error;
};

// Makes stretch k: bodies k * kStretchLines on; the header only in stretch 0.
void Make(Stretch& stretch, std::string_view first, std::int32_t quantity, std::int64_t k) {
    const auto start = static_cast<std::int32_t>(k * kStretchLines);
    const std::int32_t lines = std::min(kStretchLines, quantity - start);
    stretch.block.Reset(k != 0);
    stretch.error = nullptr;
    try {
        if (k == 0) {
            BuildImeiList(first, lines, stretch.block);
        } else {
            BuildImeiList(LastImei14(first, start + 1), lines, stretch.block);
        }
    } catch (...) {
        stretch.error = std::current_exception();
    }
}

// Stretches made by workers into a ring of slots and taken out in order.
class Workers {
public:
    Workers(std::string_view first, std::int32_t quantity, std::string_view lineEnd, std::int64_t stretches, unsigned count)
        : first_(first), quantity_(quantity), stretches_(stretches) {
        for (unsigned i = 0; i < 2 * count; ++i) slots_.push_back(std::make_unique<Slot>(lineEnd, i));
        for (unsigned i = 0; i < count; ++i) threads_.emplace_back([this] { Work(); });
    }

    // Ends the workers' work, whatever was taken.
    ~Workers() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        for (std::thread& t : threads_) t.join();
    }

    // Waits for stretch k, which stays valid until Release(k).
    Stretch& Take(std::int64_t k) {
        Slot& slot = SlotOf(k);
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return slot.turn == k && slot.made; });
        return slot.stretch;
    }

    void Release(std::int64_t k) {
        Slot& slot = SlotOf(k);
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            slot.turn += static_cast<std::int64_t>(slots_.size());
            slot.made = false;
        }
        changed_.notify_all();
    }

private:
    // Slot i holds stretches i, i + slots, i + 2 slots, ... in turn: a worker
    // with a later one waits even when the slot is free before its turn.
    struct Slot {
        Slot(std::string_view lineEnd, std::int64_t first) : stretch(lineEnd), turn(first) {}
        Stretch stretch;
        std::int64_t turn;  // the stretch it is for now
        bool made = false;
    };

    Slot& SlotOf(std::int64_t k) { return *slots_[static_cast<std::size_t>(k) % slots_.size()]; }

    void Work() {
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex_);
            if (stop_ || next_ >= stretches_) return;
            const std::int64_t k = next_++;
            Slot& slot = SlotOf(k);
            changed_.wait(lock, [&] { return stop_ || slot.turn == k; });
            if (stop_) return;
            lock.unlock();
            Make(slot.stretch, first_, quantity_, k);
            lock.lock();
            slot.made = true;
            lock.unlock();
            changed_.notify_all();
        }
    }

    std::string_view first_;
    std::int32_t quantity_;
    std::int64_t stretches_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::int64_t next_ = 0;
    bool stop_ = false;
};

}  // namespace

void WriteListLines(std::string_view first, std::int32_t quantity, std::string_view lineEnd, ByteOutput& output,
                    ProgressLine& progress) {
    const std::int64_t lines = std::max<std::int32_t>(quantity, 0);
    const std::int64_t stretches = std::max<std::int64_t>(1, (lines + kStretchLines - 1) / kStretchLines);
    if (stretches == 1) {
        Stretch stretch(lineEnd);
        Make(stretch, first, quantity, 0);
        output.Write(stretch.block.Bytes());
        if (stretch.error) std::rethrow_exception(stretch.error);
        return;
    }

    const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    Workers workers(first, quantity, lineEnd, stretches, count);
    std::uint64_t written = 0;
    for (std::int64_t k = 0; k < stretches; ++k) {
        Stretch& stretch = workers.Take(k);
        output.Write(stretch.block.Bytes());
        if (stretch.error) std::rethrow_exception(stretch.error);
        written += static_cast<std::uint64_t>(stretch.block.Lines());
        progress.Update(written, written);
        workers.Release(k);
    }
}

}  // namespace kestrino::cli
