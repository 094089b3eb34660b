#include "cli/TableReader.h"

#include <algorithm>
#include <cstring>

namespace kestrino::cli {
namespace {

constexpr unsigned char kStop = 1;      // ends a stretch of plain characters
constexpr unsigned char kNonBlank = 2;  // makes its row more than blanks
// Text kept while the delimiter is looked for, at most: a first row longer
// than this is judged by its start.
constexpr std::size_t kMostPending = std::size_t{1} << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kLows = 0x7F7F7F7F7F7F7F7Fu;
constexpr std::uint64_t kTops = 0x8080808080808080u;

// The top bit of each byte of word that equals c, exactly.
std::uint64_t Equal(std::uint64_t word, unsigned char c) {
    const std::uint64_t x = word ^ (kOnes * c);
    return ~(((x & kLows) + kLows) | x) & kTops;
}

// Where the first row that holds more than blanks and delimiters ends, or npos.
std::size_t FirstRowEnd(std::string_view text, std::size_t& start) {
    bool quoted = false;
    bool content = false;
    start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
        } else if ((c == '\n' || c == '\r') && !quoted) {
            if (content) return i;
            start = i + 1;
        } else if (!IsBlank(c) && c != ',' && c != ';') {
            content = true;
        }
    }
    return std::string_view::npos;
}

char DelimiterOf(std::string_view row) {
    bool quoted = false;
    bool semicolon = false;
    bool comma = false;
    for (const char c : row) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '\t') return '\t';
        semicolon = semicolon || c == ';';
        comma = comma || c == ',';
    }
    return semicolon ? ';' : comma ? ',' : '\0';
}

}  // namespace

TableReader::TableReader(RowReceiver& receiver, char delimiter) : receiver_(receiver), known_(false), delimiter_('\0') {
    if (delimiter != '\0') Use(delimiter);
}

void TableReader::Use(char delimiter) {
    known_ = true;
    delimiter_ = delimiter;
    std::fill(std::begin(kind_), std::end(kind_), kNonBlank);
    kind_[static_cast<unsigned char>(' ')] = 0;
    kind_[static_cast<unsigned char>('\t')] = 0;
    kind_[static_cast<unsigned char>('"')] = kStop;
    kind_[static_cast<unsigned char>('\r')] = kStop;
    kind_[static_cast<unsigned char>('\n')] = kStop;
    if (delimiter != '\0') kind_[static_cast<unsigned char>(delimiter)] = kStop;
}

void TableReader::Feed(std::string_view text) {
    if (known_) {
        Scan(text);
        return;
    }
    pending_.append(text);
    std::size_t start = 0;
    const std::size_t end = FirstRowEnd(pending_, start);
    if (end == std::string_view::npos && pending_.size() < kMostPending) return;
    Use(DelimiterOf(std::string_view(pending_).substr(start, end == std::string_view::npos ? end : end - start)));
    std::string held;
    held.swap(pending_);
    Scan(held);
}

void TableReader::Finish() {
    if (!known_) {
        std::size_t start = 0;
        FirstRowEnd(pending_, start);
        Use(DelimiterOf(std::string_view(pending_).substr(start)));
        std::string held;
        held.swap(pending_);
        Scan(held);
    }
    if (state_ == State::kQuoteInQuoted) state_ = State::kUnquoted;
    if (cell_.length > 0 || !spans_.empty() || content_) {
        EndCell();
        EndRow();
    }
}

void TableReader::Scan(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        if (afterCr_) {
            afterCr_ = false;
            if (*p == '\n') {
                if (state_ == State::kQuoted) Append(p, p + 1);
                ++p;
                continue;
            }
        }
        if (state_ == State::kUnquoted && spans_.empty() && cell_.length == 0) {
            const char* next = WholeRow(p, end);
            if (next) {
                p = next;
                continue;
            }
        }
        switch (state_) {
        case State::kUnquoted: {
            const char* q = p;
            unsigned char seen = 0;
            unsigned char kind;
            while (q < end && ((kind = kind_[static_cast<unsigned char>(*q)]) & kStop) == 0) {
                seen |= kind;
                ++q;
            }
            if (q > p) {
                Append(p, q);
                cellStarted_ = true;
                content_ = content_ || (seen & kNonBlank) != 0;
            }
            p = q;
            if (p == end) break;
            const char c = *p++;
            if (c == '"') {
                if (cellStarted_) {
                    Append(p - 1, p);
                    content_ = true;
                } else {
                    state_ = State::kQuoted;
                    cellStarted_ = true;
                }
            } else if (c == delimiter_) {
                EndCell();
            } else {
                EndCell();
                EndRow();
                ++lineEnds_;
                rowLine_ = lineEnds_ + 1;
                afterCr_ = c == '\r';
            }
            break;
        }
        case State::kQuoted: {
            const char* q = p;
            bool seen = false;
            while (q < end && *q != '"' && *q != '\n' && *q != '\r') {
                seen = seen || !IsBlank(*q);
                ++q;
            }
            Append(p, q);
            content_ = content_ || seen;
            p = q;
            if (p == end) break;
            const char c = *p++;
            if (c == '"') {
                state_ = State::kQuoteInQuoted;
            } else {
                Append(p - 1, p);
                ++lineEnds_;
                afterCr_ = c == '\r';
            }
            break;
        }
        case State::kQuoteInQuoted:
            if (*p == '"') {
                Append(p, p + 1);
                content_ = true;
                ++p;
                state_ = State::kQuoted;
            } else {
                state_ = State::kUnquoted;  // what follows the closing quote belongs to the cell, as written
            }
            break;
        }
    }
}

// A row that lies whole in the text, without quotes, is handed on as views of
// the text itself: most rows are, and copying them would cost more than the
// rest of their check. Returns where the next row starts, or nullptr.
const char* TableReader::WholeRow(const char* p, const char* end) {
    cells_.clear();
    const char* start = p;
    unsigned char seen = 0;
    while (true) {
        // Eight bytes a step while none ends the cell.
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            const std::uint64_t stops = Equal(word, '\n') | Equal(word, '\r') | Equal(word, '"') |
                                        (delimiter_ != '\0' ? Equal(word, static_cast<unsigned char>(delimiter_)) : 0);
            if (stops != 0) break;
            if ((Equal(word, ' ') | Equal(word, '\t')) != kTops) seen |= kNonBlank;
            p += 8;
        }
        unsigned char kind;
        while (p < end && ((kind = kind_[static_cast<unsigned char>(*p)]) & kStop) == 0) {
            seen |= kind;
            ++p;
        }
        if (p == end || *p == '"') return nullptr;
        if (cells_.size() < kMostCells) {
            const auto length = static_cast<std::size_t>(p - start);
            cells_.push_back({std::string_view(start, std::min(length, kKeptCellBytes)), length});
        }
        if (*p == delimiter_) {
            start = ++p;
            continue;
        }
        break;
    }
    if ((seen & kNonBlank) != 0) receiver_.Row(rowLine_, cells_);
    ++lineEnds_;
    rowLine_ = lineEnds_ + 1;
    afterCr_ = *p == '\r';
    return p + 1;
}

void TableReader::Append(const char* from, const char* to) {
    const auto n = static_cast<std::size_t>(to - from);
    cell_.length += n;
    if (cell_.kept < kKeptCellBytes) {
        const std::size_t take = std::min(n, kKeptCellBytes - cell_.kept);
        rowText_.append(from, take);
        cell_.kept += take;
    }
}

void TableReader::EndCell() {
    if (spans_.size() < kMostCells) spans_.push_back(cell_);
    cell_ = {rowText_.size(), 0, 0};
    cellStarted_ = false;
}

void TableReader::EndRow() {
    if (content_) {
        cells_.clear();
        for (const Span& s : spans_) cells_.push_back({std::string_view(rowText_).substr(s.at, s.kept), s.length});
        receiver_.Row(rowLine_, cells_);
    }
    rowText_.clear();
    spans_.clear();
    cell_ = {0, 0, 0};
    content_ = false;
    cellStarted_ = false;
}

}  // namespace kestrino::cli
