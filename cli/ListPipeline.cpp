#include "cli/ListPipeline.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kestrino::cli {
namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

// How the rows of a plan are laid out: each IMEI is 15 digits and a comma,
// each IMEISV 16 and a comma; the last comma gives way to the line end.
struct RowShape {
    explicit RowShape(const ColumnPlan& of)
        : plan(of),
          svn(of.svn ? std::string_view(*of.svn) : std::string_view()),
          lineEnd(of.LineEnd()),
          bytes(of.starts.size() * (16 + (svn.empty() ? 0 : 17)) + 2),
          rowsPerBlock(std::max<std::size_t>(1, kBlockBytes / bytes)),
          blocks((of.devices + rowsPerBlock - 1) / rowsPerBlock) {}

    // Rows of block k into to, which holds BlockBytes(); returns the bytes made.
    std::size_t Make(std::uint64_t k, char* to) const {
        // The count of columns known at compile time: the loops over them unrolled.
        switch (plan.starts.size()) {
        case 1: return MakeRows<1>(k, to);
        case 2: return MakeRows<2>(k, to);
        case 3: return MakeRows<3>(k, to);
        default: return MakeRows<4>(k, to);
        }
    }

    template <std::size_t... kColumn>
    std::array<ImeiCounter, sizeof...(kColumn)> Counters(std::uint64_t device, std::index_sequence<kColumn...>) const {
        return {ImeiCounter(plan.Body(kColumn, device))...};
    }

    template <std::size_t kColumns>
    std::size_t MakeRows(std::uint64_t k, char* to) const {
        const std::uint64_t first = k * rowsPerBlock;
        const std::uint64_t rows = Rows(k);
        auto imeis = Counters(first, std::make_index_sequence<kColumns>());
        for (ImeiCounter& imei : imeis) imei.SetSpare(',');
        const auto step = static_cast<std::uint32_t>(plan.stride);
        char* const start = to;
        for (std::uint64_t r = 0; r < rows; ++r) {
            for (const ImeiCounter& imei : imeis) {
                std::memcpy(to, imei.Digits(), 16);
                to += 16;
            }
            if (!svn.empty()) {
                for (const ImeiCounter& imei : imeis) {
                    std::memcpy(to, imei.Digits(), 14);
                    to[14] = svn[0];
                    to[15] = svn[1];
                    to[16] = ',';
                    to += 17;
                }
            }
            --to;
            std::memcpy(to, lineEnd.data(), 2);
            to += lineEnd.size();
            for (ImeiCounter& imei : imeis) imei.Advance(step);
        }
        return static_cast<std::size_t>(to - start);
    }

    std::uint64_t Rows(std::uint64_t k) const { return std::min<std::uint64_t>(rowsPerBlock, plan.devices - k * rowsPerBlock); }
    // 16-byte copies may reach one byte past a row's end.
    std::size_t BlockBytes() const { return rowsPerBlock * bytes + 16; }

    const ColumnPlan& plan;
    std::string_view svn;
    std::string_view lineEnd;
    std::size_t bytes;
    std::size_t rowsPerBlock;
    std::uint64_t blocks;
};

// Blocks made by workers into a ring of slots and taken out in order.
class Workers {
public:
    Workers(const RowShape& shape, unsigned count) : shape_(shape) {
        for (unsigned i = 0; i < 2 * count; ++i) slots_.push_back(std::make_unique<Slot>(shape.BlockBytes(), i));
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

    // Waits for block k, whose bytes stay valid until Release(k).
    std::string_view Take(std::uint64_t k) {
        Slot& slot = SlotOf(k);
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return slot.turn == k && slot.made; });
        return {slot.data.get(), slot.size};
    }

    void Release(std::uint64_t k) {
        Slot& slot = SlotOf(k);
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            slot.turn += slots_.size();
            slot.made = false;
        }
        changed_.notify_all();
    }

private:
    // Slot i holds blocks i, i + slots, i + 2 slots, ... in turn: a worker
    // with a later one waits even when the slot is free before its turn.
    struct Slot {
        Slot(std::size_t bytes, std::uint64_t first) : data(new char[bytes]), turn(first) {}
        std::unique_ptr<char[]> data;
        std::size_t size = 0;
        std::uint64_t turn;  // the block it is for now
        bool made = false;
    };

    Slot& SlotOf(std::uint64_t k) { return *slots_[static_cast<std::size_t>(k % slots_.size())]; }

    void Work() {
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex_);
            if (stop_ || next_ >= shape_.blocks) return;
            const std::uint64_t k = next_++;
            Slot& slot = SlotOf(k);
            changed_.wait(lock, [&] { return stop_ || slot.turn == k; });
            if (stop_) return;
            lock.unlock();
            const std::size_t size = shape_.Make(k, slot.data.get());
            lock.lock();
            slot.size = size;
            slot.made = true;
            lock.unlock();
            changed_.notify_all();
        }
    }

    const RowShape& shape_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t next_ = 0;
    bool stop_ = false;
};

}  // namespace

void WriteRows(const ColumnPlan& plan, ByteOutput& output, ProgressLine& progress) {
    std::string header;
    for (const std::string& name : plan.HeaderNames()) {
        if (!header.empty()) header += ',';
        header += name;
    }
    header += plan.LineEnd();
    output.Write(header);

    const RowShape shape(plan);
    if (shape.blocks <= 1) {
        if (shape.blocks == 0) return;
        const std::unique_ptr<char[]> block(new char[shape.BlockBytes()]);
        output.Write(std::string_view(block.get(), shape.Make(0, block.get())));
        progress.Update(plan.devices, plan.devices);
        return;
    }
    const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    Workers workers(shape, count);
    std::uint64_t done = 0;
    for (std::uint64_t k = 0; k < shape.blocks; ++k) {
        output.Write(workers.Take(k));
        done += shape.Rows(k);
        progress.Update(done, done);
        workers.Release(k);
    }
}

}  // namespace kestrino::cli
