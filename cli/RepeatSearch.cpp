#include "cli/RepeatSearch.h"

#include "cli/ImeiValue.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace kestrino::cli {
namespace {

using namespace repeat_search;
using Entry = RepeatSearch::Entry;

constexpr std::uint64_t kLongestRun = std::uint64_t{1} << (64 - kLengthShift);

// The k-th IMEI of a run.
std::uint64_t RunValue(std::uint64_t field, std::uint64_t k) {
    const std::uint64_t first = field & kValueMask;
    return k == 0 ? first : ImeiOfBody(first / 10 + k);
}

// The order of entries: by IMEI, then by place.
std::uint64_t Key(const Entry& e) { return e.value & kValueMask; }
bool Before(const Entry& a, const Entry& b) { return Key(a) != Key(b) ? Key(a) < Key(b) : a.place < b.place; }

// Sorts by Before in place: a radix sort on the key's bytes, the most
// significant first (American flag sort), with std::sort for small ranges
// and the last bits. A shuffled list of 10 million IMEIs sorts several times
// faster than by comparisons alone, and no second array is needed.
void SortEntries(Entry* first, Entry* last, int shift = static_cast<int>(kLengthShift) - 8) {
    const auto n = static_cast<std::size_t>(last - first);
    if (n <= 64 || shift < 0) {
        std::sort(first, last, Before);
        return;
    }
    const auto digit = [shift](const Entry& e) { return static_cast<std::size_t>((Key(e) >> shift) & 255); };
    std::size_t count[256] = {};
    for (const Entry* e = first; e != last; ++e) ++count[digit(*e)];
    std::size_t start[257];
    std::size_t next[256];
    start[0] = 0;
    for (std::size_t b = 0; b < 256; ++b) {
        next[b] = start[b];
        start[b + 1] = start[b] + count[b];
    }
    // Each entry is carried to the next free place of its bucket, and what
    // stood there goes on to its own, until the place of bucket b is filled.
    for (std::size_t b = 0; b < 256; ++b) {
        while (next[b] < start[b + 1]) {
            Entry moving = first[next[b]];
            for (std::size_t d = digit(moving); d != b; d = digit(moving)) std::swap(moving, first[next[d]++]);
            first[next[b]++] = moving;
        }
    }
    for (std::size_t b = 0; b < 256; ++b) {
        if (count[b] > 1) SortEntries(first + start[b], first + start[b + 1], shift - 8);
    }
}

}  // namespace

bool repeat_search::RightCheckDigit(std::uint64_t imei) { return HasRightCheckDigit(imei); }

RepeatSearch::~RepeatSearch() { std::free(entries_); }

void RepeatSearch::Add(std::uint64_t imei, bool rightCheckDigit, Place place) {
    ++held_;
    const auto column = static_cast<std::size_t>(place & (kRunStep - 1));
    if (column >= open_.size()) open_.resize(column + 1, OpenRun{0, 0, false});
    OpenRun& open = open_[column];
    if (open.live && rightCheckDigit && imei / 10 == open.last / 10 + 1) {
        Entry& run = entries_[open.entry];
        if (run.place + RunLength(run.value) * kRunStep == place && RunLength(run.value) < kLongestRun) {
            run.value += std::uint64_t{1} << kLengthShift;
            open.last = imei;
            return;
        }
    }
    if (count_ == capacity_) {
        const std::size_t grown = capacity_ < 4096 ? 4096 : capacity_ + capacity_ / 2;
        void* more = std::realloc(entries_, grown * sizeof(Entry));
        if (!more) throw std::bad_alloc();
        entries_ = static_cast<Entry*>(more);
        capacity_ = grown;
    }
    increasing_ = increasing_ && (count_ == 0 || imei > lastValue_);
    entries_[count_] = {imei, place};
    open = {count_, imei, rightCheckDigit};
    ++count_;
    lastValue_ = imei;
}

void RepeatSearch::Rewind(const Mark& mark) {
    count_ = mark.count;
    held_ = mark.held;
    increasing_ = mark.increasing;
    lastValue_ = mark.lastValue;
    open_.clear();
}

void RepeatSearch::Sort() {
    if (!increasing_) SortEntries(entries_, entries_ + count_);
}

void RepeatSearch::ExpandRuns() {
    if (held_ > count_) {
        void* more = std::realloc(entries_, held_ * sizeof(Entry));
        if (!more) throw std::bad_alloc();
        entries_ = static_cast<Entry*>(more);
        capacity_ = held_;
        // From the back: a run's IMEIs land at or after its own place, never
        // on a run not yet expanded.
        std::size_t end = held_;
        for (std::size_t i = count_; i > 0; --i) {
            const Entry run = entries_[i - 1];
            const std::uint64_t length = RunLength(run.value);
            end -= length;
            for (std::uint64_t k = 0; k < length; ++k) entries_[end + k] = {RunValue(run.value, k), run.place + k * kRunStep};
        }
        count_ = held_;
    }
    SortEntries(entries_, entries_ + count_);
}

void RepeatSearch::FindRepeats() {
    // Sorted runs whose ranges do not overlap hold no IMEI twice.
    bool overlap = false;
    std::uint64_t highest = 0;  // the last IMEI of the runs so far, at most
    for (std::size_t i = 0; i < count_ && !overlap; ++i) {
        overlap = i > 0 && Key(entries_[i]) <= highest;
        highest = std::max(highest, RunValue(entries_[i].value, RunLength(entries_[i].value) - 1));
    }
    firsts_ = repeats_ = repeatsEnd_ = 0;
    if (!overlap) {
        std::free(entries_);
        entries_ = nullptr;
        count_ = capacity_ = 0;
        return;
    }
    // In place, so that nothing beyond the 16 bytes per IMEI is needed: the
    // values that appear more than once stay, their first appearances
    // ("firsts", flagged) sorted by value, the repeats after them by place.
    ExpandRuns();
    constexpr std::uint64_t kFirst = std::uint64_t{1} << 63;
    std::size_t kept = 0;
    for (std::size_t i = 0, j = 0; i < count_; i = j) {
        while (j < count_ && entries_[j].value == entries_[i].value) ++j;
        if (j - i == 1) continue;
        entries_[kept++] = {entries_[i].value | kFirst, entries_[i].place};
        std::copy(entries_ + i + 1, entries_ + j, entries_ + kept);  // kept <= i: moving to the front
        kept += j - i - 1;
    }
    Entry* repeats = std::partition(entries_, entries_ + kept, [](const Entry& e) { return (e.value & kFirst) != 0; });
    for (Entry* e = entries_; e != repeats; ++e) e->value &= ~kFirst;
    std::sort(entries_, repeats, [](const Entry& a, const Entry& b) { return a.value < b.value; });
    std::sort(repeats, entries_ + kept, [](const Entry& a, const Entry& b) { return a.place < b.place; });
    count_ = kept;
    firsts_ = 0;
    repeats_ = static_cast<std::size_t>(repeats - entries_);
    repeatsEnd_ = kept;
}

RepeatSearch::Repeat RepeatSearch::RepeatAt(std::size_t i) const {
    const Entry& repeat = entries_[repeats_ + i];
    const Entry* first = std::lower_bound(entries_ + firsts_, entries_ + repeats_, repeat.value,
                                          [](const Entry& e, std::uint64_t v) { return e.value < v; });
    return {repeat.value, repeat.place, first->place};
}

}  // namespace kestrino::cli
