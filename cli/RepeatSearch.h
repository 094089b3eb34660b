#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrino::cli {

// Finds the IMEIs that appear more than once, without keeping any text: 16
// bytes per IMEI, its value and its place, at most. Places are numbers the
// caller gives, increasing in the order in which IMEIs are added; reports
// come back by place. A place's low bits (below kRunStep) name its column:
// runs of IMEIs with consecutive bodies and right check digits at places
// kRunStep apart, which is how generated lists arrive, take one entry per
// column, even where the columns of a row interleave: a clean list takes a few.
class RepeatSearch {
public:
    using Place = std::uint64_t;
    // The place step between consecutive members of a run.
    static constexpr Place kRunStep = Place{1} << 12;

    RepeatSearch() = default;
    ~RepeatSearch();
    RepeatSearch(const RepeatSearch&) = delete;
    RepeatSearch& operator=(const RepeatSearch&) = delete;

    // imei below 2^50; place above the place of every IMEI added before.
    void Add(std::uint64_t imei, bool rightCheckDigit, Place place);
    // The next IMEI starts a run of its own (a new list begins).
    void Break() { open_.clear(); }

    // What has been added so far; Rewind forgets everything added after it.
    struct Mark {
        std::size_t count;
        std::uint64_t held;
        bool increasing;
        std::uint64_t lastValue;
    };
    Mark Here() const { return {count_, held_, increasing_, lastValue_}; }  // lastValue: the last entry's first IMEI
    void Rewind(const Mark& mark);

    // Orders the IMEIs by value. Call once, after the last Add.
    void Sort();
    // After Sort: calls visit(firstBody, lastBody) for each stretch of
    // consecutive bodies whose IMEIs were added with their right check digit,
    // by value; stretches may touch or overlap.
    template <typename Visit>
    void ForEachBodyStretch(Visit visit) const;

    // After Sort: keeps only the repeats, ordered by place, each with the place
    // of its first appearance. Call once; ForEachBodyStretch is no longer valid.
    void FindRepeats();
    struct Repeat {
        std::uint64_t imei;
        Place place;
        Place first;
    };
    std::size_t Repeats() const { return repeatsEnd_ - repeats_; }
    Repeat RepeatAt(std::size_t i) const;

    struct Entry {
        std::uint64_t value;  // the first IMEI; bits 50 and up: the run's length - 1
        Place place;          // the place of the first
    };

private:
    void ExpandRuns();

    // Grown with realloc, which large blocks usually do in place: a vector
    // would briefly hold the old and the new copy, 48 bytes per IMEI.
    Entry* entries_ = nullptr;
    std::size_t count_ = 0;
    std::size_t capacity_ = 0;
    std::uint64_t held_ = 0;   // IMEIs in the entries
    bool increasing_ = true;   // each entry's first IMEI above the one before: sorted as they stand
    std::uint64_t lastValue_ = 0;  // the first IMEI of the last entry
    // Per column: the entry that its next IMEI may extend.
    struct OpenRun {
        std::size_t entry;
        std::uint64_t last;  // its last IMEI
        bool live;
    };
    std::vector<OpenRun> open_;

    // After FindRepeats: first appearances by value, then repeats by place.
    std::size_t firsts_ = 0;
    std::size_t repeats_ = 0;
    std::size_t repeatsEnd_ = 0;
};

namespace repeat_search {
inline constexpr unsigned kLengthShift = 50;
inline constexpr std::uint64_t kValueMask = (std::uint64_t{1} << kLengthShift) - 1;
inline std::uint64_t RunLength(std::uint64_t field) { return (field >> kLengthShift) + 1; }
bool RightCheckDigit(std::uint64_t imei);
}  // namespace repeat_search

template <typename Visit>
void RepeatSearch::ForEachBodyStretch(Visit visit) const {
    using namespace repeat_search;
    for (std::size_t i = 0; i < count_; ++i) {
        const std::uint64_t first = entries_[i].value & kValueMask;
        const std::uint64_t length = RunLength(entries_[i].value);
        // A run's members all have right check digits; a lone entry may not.
        if (length > 1 || RightCheckDigit(first)) visit(first / 10, first / 10 + length - 1);
    }
}

}  // namespace kestrino::cli
