#include "cli/ListChecker.h"

#include "core/CheckDigit.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kestrino::cli {
namespace {

// The header line the window writes first.
constexpr std::string_view kHeader = "IMEI";
constexpr std::size_t kImeiDigits = 15;
// Of a line that is not an IMEI, the report quotes this much.
constexpr std::size_t kQuoted = 40;

// An entry's value field: the IMEI below kLengthShift, a run's length - 1 above.
constexpr unsigned kLengthShift = 50;
constexpr std::uint64_t kValueMask = (std::uint64_t{1} << kLengthShift) - 1;
constexpr std::uint64_t kLongestRun = std::uint64_t{1} << (64 - kLengthShift);

std::string ImeiText(std::uint64_t value) {
    std::string text(kImeiDigits, '0');
    for (std::size_t i = kImeiDigits; i > 0 && value > 0; --i, value /= 10) text[i - 1] = static_cast<char>('0' + value % 10);
    return text;
}

// The check digit of an IMEI's first 14 digits, by the number core.
std::uint64_t CheckDigitOf(std::string_view imei) {
    return static_cast<std::uint64_t>(CheckDigitOfText(imei.substr(0, kImeiBodyDigits)));
}

// The IMEI of a 14-digit body: the body and its check digit.
std::uint64_t ImeiOfBody(std::uint64_t body) { return body * 10 + CheckDigitOf(ImeiText(body * 10)); }

std::uint64_t RunLength(std::uint64_t field) { return (field >> kLengthShift) + 1; }

// The k-th IMEI of a run.
std::uint64_t RunValue(std::uint64_t field, std::uint64_t k) {
    const std::uint64_t first = field & kValueMask;
    return k == 0 ? first : ImeiOfBody(first / 10 + k);
}

// The order of entries: by IMEI, then by line.
std::uint64_t Key(const ListChecker::Entry& e) { return e.value & kValueMask; }
bool Before(const ListChecker::Entry& a, const ListChecker::Entry& b) {
    return Key(a) != Key(b) ? Key(a) < Key(b) : a.ordinal < b.ordinal;
}

// Sorts by Before in place: a radix sort on the key's bytes, the most
// significant first (American flag sort), with std::sort for small ranges
// and the last bits. A shuffled list of 10 million IMEIs sorts several times
// faster than by comparisons alone, and no second array is needed.
void SortEntries(ListChecker::Entry* first, ListChecker::Entry* last, int shift = static_cast<int>(kLengthShift) - 8) {
    const auto n = static_cast<std::size_t>(last - first);
    if (n <= 64 || shift < 0) {
        std::sort(first, last, Before);
        return;
    }
    const auto digit = [shift](const ListChecker::Entry& e) { return static_cast<std::size_t>((Key(e) >> shift) & 255); };
    std::size_t count[256] = {};
    for (const ListChecker::Entry* e = first; e != last; ++e) ++count[digit(*e)];
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
            ListChecker::Entry moving = first[next[b]];
            for (std::size_t d = digit(moving); d != b; d = digit(moving)) std::swap(moving, first[next[d]++]);
            first[next[b]++] = moving;
        }
    }
    for (std::size_t b = 0; b < 256; ++b) {
        if (count[b] > 1) SortEntries(first + start[b], first + start[b + 1], shift - 8);
    }
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }


// The line in quotes, control characters shown as "?", cut after kQuoted.
std::string Quote(std::string_view kept, std::uint64_t length) {
    std::string text = "'";
    for (const char c : kept.substr(0, kQuoted)) text += static_cast<unsigned char>(c) < 32 || c == 127 ? '?' : c;
    if (length > kQuoted) text += "...";
    text += '\'';
    return text;
}

}  // namespace

ListChecker::ListChecker() = default;

ListChecker::~ListChecker() { std::free(entries_); }

void ListChecker::BeginFile(std::string name) { files_.push_back({std::move(name), ordinal_}); }

void ListChecker::Feed(std::string_view bytes) {
    while (!bytes.empty()) {
        const void* end = std::memchr(bytes.data(), '\n', bytes.size());
        const std::size_t n = end ? static_cast<std::size_t>(static_cast<const char*>(end) - bytes.data()) : bytes.size();
        const std::string_view piece = bytes.substr(0, n);
        if (!end || partialLength_ > 0) {
            // Kept in part: enough to quote the line, to know whether it is
            // blank and whether it is the header.
            if (partial_.size() < kQuoted + 1) partial_.append(piece.substr(0, kQuoted + 1 - partial_.size()));
            partialBlank_ = partialBlank_ && std::all_of(piece.begin(), piece.end(), IsBlank);
            partialLength_ += n;
            if (!end) return;
            Line(partial_, partialLength_, partialBlank_);
            partial_.clear();
            partialLength_ = 0;
            partialBlank_ = true;
        } else {
            Line(piece, n, false);
        }
        bytes.remove_prefix(n + 1);
    }
}

void ListChecker::EndFile() {
    if (partialLength_ > 0) Line(partial_, partialLength_, partialBlank_);
    partial_.clear();
    partialLength_ = 0;
    partialBlank_ = true;
}

void ListChecker::Line(std::string_view kept, std::uint64_t length, bool blank) {
    ++ordinal_;
    if (kept.size() == length && !kept.empty() && kept.back() == '\r') {
        kept.remove_suffix(1);
        --length;
    }
    if (kept.size() == length) blank = kept.empty() || (IsBlank(kept[0]) && std::all_of(kept.begin(), kept.end(), IsBlank));
    if (blank) return;
    if (ordinal_ == files_.back().before + 1 && kept == kHeader && length == kHeader.size()) return;
    ++imeis_;

    if (length == kImeiDigits) {
        std::uint64_t value = 0;
        unsigned notDigit = 0;
        for (std::size_t i = 0; i < kImeiDigits; ++i) {
            const auto d = static_cast<unsigned>(static_cast<unsigned char>(kept[i]) - '0');
            notDigit |= d > 9 ? 1u : 0u;
            value = value * 10 + d;
        }
        if (notDigit == 0) {
            const bool right = CheckDigitOf(kept) == value % 10;
            if (!right) problems_.push_back({ordinal_, value, Kind::kCheckDigit});
            Add(value, right);
            return;
        }
    }
    problems_.push_back({ordinal_, quoted_.size(), Kind::kNotAnImei});
    quoted_ += Quote(kept, length);
    quoted_ += '\n';
}

void ListChecker::Add(std::uint64_t value, bool rightCheckDigit) {
    ++held_;
    if (count_ > 0 && rightCheckDigit && lastRight_ && value / 10 == lastValue_ / 10 + 1) {
        Entry& run = entries_[count_ - 1];
        if (run.ordinal + RunLength(run.value) == ordinal_ && RunLength(run.value) < kLongestRun) {
            run.value += std::uint64_t{1} << kLengthShift;
            lastValue_ = value;
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
    increasing_ = increasing_ && (count_ == 0 || value > lastValue_);
    entries_[count_++] = {value, ordinal_};
    lastRight_ = rightCheckDigit;
    lastValue_ = value;
}

void ListChecker::ExpandRuns() {
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
            for (std::uint64_t k = 0; k < length; ++k) entries_[end + k] = {RunValue(run.value, k), run.ordinal + k};
        }
        count_ = held_;
    }
    SortEntries(entries_, entries_ + count_);
}

std::string ListChecker::Where(Ordinal ordinal) const {
    const auto after = std::upper_bound(files_.begin(), files_.end(), ordinal,
                                        [](Ordinal o, const File& f) { return o <= f.before; });
    const File& file = *(after - 1);
    return file.name + ":" + std::to_string(ordinal - file.before);
}

std::uint64_t ListChecker::Report(ByteOutput& output) {
    // A list that only increases, as a generated one does, holds no IMEI
    // twice; nor do runs whose ranges do not overlap.
    bool overlap = false;
    if (!increasing_) {
        SortEntries(entries_, entries_ + count_);
        std::uint64_t highest = 0;  // the last IMEI of the runs so far, at most
        for (std::size_t i = 0; i < count_ && !overlap; ++i) {
            overlap = i > 0 && (entries_[i].value & kValueMask) <= highest;
            highest = std::max(highest, RunValue(entries_[i].value, RunLength(entries_[i].value) - 1));
        }
    }
    // In place, so that nothing beyond the 16 bytes per IMEI is needed: the
    // values that appear more than once stay, their first appearances
    // ("firsts", flagged) sorted by value, the repeats after them by line.
    Entry* repeats = entries_;
    if (overlap) {
        ExpandRuns();
        constexpr std::uint64_t kFirst = std::uint64_t{1} << 63;
        std::size_t kept = 0;
        for (std::size_t i = 0, j = 0; i < count_; i = j) {
            while (j < count_ && entries_[j].value == entries_[i].value) ++j;
            if (j - i == 1) continue;
            entries_[kept++] = {entries_[i].value | kFirst, entries_[i].ordinal};
            std::copy(entries_ + i + 1, entries_ + j, entries_ + kept);  // kept <= i: moving to the front
            kept += j - i - 1;
        }
        repeats = std::partition(entries_, entries_ + kept, [](const Entry& e) { return (e.value & kFirst) != 0; });
        for (Entry* e = entries_; e != repeats; ++e) e->value &= ~kFirst;
        std::sort(entries_, repeats, [](const Entry& a, const Entry& b) { return a.value < b.value; });
        std::sort(repeats, entries_ + kept, [](const Entry& a, const Entry& b) { return a.ordinal < b.ordinal; });
        count_ = kept;
    }
    Entry* const firsts = entries_;
    Entry* const repeatsEnd = overlap ? entries_ + count_ : repeats;

    std::string text;
    auto problem = problems_.begin();
    Entry* repeat = repeats;
    while (problem != problems_.end() || repeat != repeatsEnd) {
        // On one line, what is wrong with the line comes before what it repeats.
        if (repeat == repeatsEnd || (problem != problems_.end() && problem->ordinal <= repeat->ordinal)) {
            text += Where(problem->ordinal);
            if (problem->kind == Kind::kCheckDigit) {
                const std::string imei = ImeiText(problem->detail);
                text += ": " + imei + " has a wrong check digit: it should end in ";
                text += static_cast<char>('0' + CheckDigitOf(imei));
            } else {
                const std::size_t at = static_cast<std::size_t>(problem->detail);
                text += ": " + quoted_.substr(at, quoted_.find('\n', at) - at) + " is not 15 decimal digits";
            }
            ++problem;
        } else {
            const Entry* first = std::lower_bound(firsts, repeats, repeat->value,
                                                  [](const Entry& e, std::uint64_t v) { return e.value < v; });
            text += Where(repeat->ordinal) + ": " + ImeiText(repeat->value) + " already appeared at " + Where(first->ordinal);
            ++repeat;
        }
        text += kNewline;
        if (text.size() >= (std::size_t{1} << 20)) {
            output.Write(text);
            text.clear();
        }
    }
    output.Write(text);
    const std::uint64_t reports = problems_.size() + static_cast<std::uint64_t>(repeatsEnd - repeats);
    std::free(entries_);
    entries_ = nullptr;
    count_ = capacity_ = 0;
    return reports;
}

}  // namespace kestrino::cli
