#include "cli/ListChecker.h"

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

constexpr int kDoubled[10] = {0, 2, 4, 6, 8, 1, 3, 5, 7, 9};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The check digit of the first 14 digits of a 15-digit text.
int CheckDigitOf(const char* digits) {
    int sum = 0;
    for (std::size_t i = 0; i + 1 < kImeiDigits; ++i) {
        const int d = digits[i] - '0';
        sum += (i % 2 == 1) ? kDoubled[d] : d;
    }
    return (10 - sum % 10) % 10;
}

std::string ImeiText(std::uint64_t value) {
    std::string text(kImeiDigits, '0');
    for (std::size_t i = kImeiDigits; i > 0 && value > 0; --i, value /= 10) text[i - 1] = static_cast<char>('0' + value % 10);
    return text;
}

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
        bool digits = true;
        for (std::size_t i = 0; i < kImeiDigits; ++i) {
            const auto d = static_cast<unsigned>(kept[i] - '0');
            digits = digits && d <= 9;
            value = value * 10 + d;
        }
        if (digits) {
            if (CheckDigitOf(kept.data()) != kept[kImeiDigits - 1] - '0') {
                problems_.push_back({ordinal_, value, Kind::kCheckDigit});
            }
            Add({value, ordinal_});
            return;
        }
    }
    problems_.push_back({ordinal_, quoted_.size(), Kind::kNotAnImei});
    quoted_.push_back(Quote(kept, length));
}

void ListChecker::Add(Entry entry) {
    if (count_ == capacity_) {
        const std::size_t grown = capacity_ < 4096 ? 4096 : capacity_ + capacity_ / 2;
        void* more = std::realloc(entries_, grown * sizeof(Entry));
        if (!more) throw std::bad_alloc();
        entries_ = static_cast<Entry*>(more);
        capacity_ = grown;
    }
    increasing_ = increasing_ && (count_ == 0 || entry.value > entries_[count_ - 1].value);
    entries_[count_++] = entry;
}

std::string ListChecker::Where(Ordinal ordinal) const {
    const auto after = std::upper_bound(files_.begin(), files_.end(), ordinal,
                                        [](Ordinal o, const File& f) { return o <= f.before; });
    const File& file = *(after - 1);
    return file.name + ":" + std::to_string(ordinal - file.before);
}

std::uint64_t ListChecker::Report(ByteOutput& output) {
    // Equal values side by side, each group in the order of its lines: all
    // but the first of a group are reports. A list that only increases, as
    // a generated one does, has none and needs no sort.
    struct Duplicate {
        Ordinal ordinal;
        Ordinal first;
        std::uint64_t value;
    };
    std::vector<Duplicate> duplicates;
    if (!increasing_) {
        std::sort(entries_, entries_ + count_, [](const Entry& a, const Entry& b) {
            return a.value != b.value ? a.value < b.value : a.ordinal < b.ordinal;
        });
        for (std::size_t i = 1, first = 0; i < count_; ++i) {
            if (entries_[i].value != entries_[first].value) {
                first = i;
            } else {
                duplicates.push_back({entries_[i].ordinal, entries_[first].ordinal, entries_[i].value});
            }
        }
        std::sort(duplicates.begin(), duplicates.end(), [](const Duplicate& a, const Duplicate& b) { return a.ordinal < b.ordinal; });
    }
    std::free(entries_);
    entries_ = nullptr;
    count_ = capacity_ = 0;

    std::string text;
    const auto flushIfLarge = [&] {
        if (text.size() >= (1u << 20)) {
            output.Write(text);
            text.clear();
        }
    };
    auto problem = problems_.begin();
    auto duplicate = duplicates.begin();
    while (problem != problems_.end() || duplicate != duplicates.end()) {
        // On one line, what is wrong with the line comes before what it repeats.
        if (duplicate == duplicates.end() || (problem != problems_.end() && problem->ordinal <= duplicate->ordinal)) {
            text += Where(problem->ordinal);
            if (problem->kind == Kind::kCheckDigit) {
                const std::string imei = ImeiText(problem->detail);
                text += ": " + imei + " has a wrong check digit: it should end in ";
                text += static_cast<char>('0' + CheckDigitOf(imei.data()));
            } else {
                text += ": " + quoted_[problem->detail] + " is not 15 decimal digits";
            }
            ++problem;
        } else {
            text += Where(duplicate->ordinal) + ": " + ImeiText(duplicate->value) + " already appeared at " + Where(duplicate->first);
            ++duplicate;
        }
        text += kNewline;
        flushIfLarge();
    }
    output.Write(text);
    return problems_.size() + duplicates.size();
}

}  // namespace kestrino::cli
