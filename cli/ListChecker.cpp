#include "cli/ListChecker.h"

#include "cli/ImeiValue.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace kestrino::cli {
namespace {

constexpr unsigned kColumnBits = 12;
static_assert((std::uint64_t{1} << kColumnBits) == RepeatSearch::kRunStep);
static_assert((std::size_t{1} << kColumnBits) >= kMostCells);

// A cell's place: its line over all lists, then its column.
std::uint64_t PlaceOf(std::uint64_t line, std::size_t column) { return line << kColumnBits | column; }

// The number of eight digits, the first in the lowest byte, each less '0':
// pairs, then fours, then the eight, in three multiplications.
std::uint64_t EightDigits(std::uint64_t digits) {
    static_assert(std::endian::native == std::endian::little);
    digits = digits * 10 + (digits >> 8);
    return ((digits & 0x000000FF000000FFu) * (100 + (1000000ull << 32)) +
            ((digits >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32))) >> 32;
}

// The cell as a 15-digit value and whether its check digit is right, or
// false: the fast path of a clean list, the Luhn sum taken with the digits.
bool FifteenDigits(const Cell& cell, std::uint64_t& value, bool& right) {
    if (cell.length != kImeiDigits || cell.text.size() != kImeiDigits) return false;
    const char* const t = cell.text.data();
    // Eight bytes at a time (bytes 0 to 7 and 7 to 14): a byte that is no
    // digit sets the top bit of its own byte.
    constexpr std::uint64_t kZeros = 0x3030303030303030u;
    constexpr std::uint64_t kTops = 0x8080808080808080u;
    std::uint64_t a;
    std::uint64_t b;
    std::memcpy(&a, t, 8);
    std::memcpy(&b, t + 7, 8);
    a -= kZeros;
    b -= kZeros;
    if (((a | (a + 0x7676767676767676u) | b | (b + 0x7676767676767676u)) & kTops) != 0) return false;
    std::int32_t sum = 0;
    // Unrolled, so that each term's index is a constant.
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        ((sum += LuhnTerm(I, t[I] - '0')), ...);
    }(std::make_index_sequence<kImeiBodyDigits>{});
    const auto last = static_cast<std::uint64_t>(t[kImeiBodyDigits] - '0');
    // Digits 0 to 6 and 7 to 14.
    value = EightDigits(a) / 10 * 100'000'000 + EightDigits(b);
    right = static_cast<std::uint64_t>(CheckDigitOfSum(sum)) == last;
    return true;
}

bool Digits(const Cell& cell, std::size_t count) {
    return cell.length == count && cell.text.size() == count && AllDigits(cell.text);
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool NamesImei(std::string_view name) { return Upper(name).find("IMEI") != std::string::npos; }
bool NamesImeisv(std::string_view name) { return Upper(name).find("IMEISV") != std::string::npos; }

// "IMEISV 2" and "IMEI 2" name the same slot: the name without "SV".
std::string SlotOf(std::string_view name) {
    std::string upper = Upper(Trimmed(name));
    const std::size_t at = upper.find("IMEISV");
    if (at != std::string::npos) upper.erase(at + 4, 2);
    return upper;
}

// 3.58511E+14 or 3,58511E+14: a number a spreadsheet showed in scientific notation.
bool Scientific(std::string_view text) {
    text = Trimmed(text);
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i > from;
    };
    if (!digits()) return false;
    if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
        ++i;
        if (!digits()) return false;
    }
    if (i >= text.size() || (text[i] != 'E' && text[i] != 'e')) return false;
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    return digits() && i == text.size();
}

// The valid IMEI among blanks, dashes, dots, quotes and "=", or 0.
std::uint64_t CleanImei(std::string_view text, std::uint64_t length) {
    if (length != text.size()) return 0;
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (++digits > kImeiDigits) return 0;
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
        } else if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
            ++i;  // a no-break space
        } else if (c != ' ' && c != '\t' && c != '-' && c != '.' && c != '=' && c != '"' && c != '\'') {
            return 0;
        }
    }
    return digits == kImeiDigits && HasRightCheckDigit(value) ? value : 0;
}

// text without a UTF-8 character cut off at its end.
std::string_view WholeCharacters(std::string_view text) {
    std::size_t end = text.size();
    std::size_t back = 0;
    while (back < 4 && back < end && (static_cast<unsigned char>(text[end - 1 - back]) & 0xC0) == 0x80) ++back;
    if (back < end) {
        const auto lead = static_cast<unsigned char>(text[end - 1 - back]);
        const std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (need > back + 1) end -= back + 1;
    }
    return text.substr(0, end);
}

}  // namespace

ListChecker::ListChecker(CheckSettings settings) : settings_(std::move(settings)) {
    // Ranges by their first body, joined where they meet.
    std::vector<BodyRange>& ranges = settings_.expected;
    std::sort(ranges.begin(), ranges.end(), [](const BodyRange& a, const BodyRange& b) { return a.first < b.first; });
    std::vector<BodyRange> joined;
    for (const BodyRange& r : ranges) {
        if (!joined.empty() && r.first <= joined.back().last + 1) {
            joined.back().last = std::max(joined.back().last, r.last);
        } else {
            joined.push_back(r);
        }
    }
    ranges = std::move(joined);
    std::sort(settings_.tacs.begin(), settings_.tacs.end());
}

ListChecker::~ListChecker() = default;

void ListChecker::BeginFile(std::string name) {
    File file;
    file.name = std::move(name);
    file.before = files_.empty() ? 0 : files_.back().before + reader_->LineEnds() + 1;
    file.problems = problems_.size();
    file.texts = texts_.size();
    file.rows = rows_;
    file.imeis = imeis_;
    file.mark = search_.Here();
    files_.push_back(std::move(file));
    search_.Break();
    decoder_ = std::make_unique<TextDecoder>();
    reader_ = std::make_unique<TableReader>(static_cast<RowReceiver&>(*this), settings_.delimiter);
    firstRow_ = true;
}

void ListChecker::Feed(std::string_view bytes) {
    if (decoder_->Failed() || files_.back().fault) return;
    const std::string_view text = decoder_->Decode(bytes);
    if (!decoder_->Failed()) reader_->Feed(text);
}

std::optional<std::string> ListChecker::EndFile() {
    File& file = files_.back();
    if (!decoder_->Failed() && !file.fault) {
        const std::string_view rest = decoder_->Finish();
        if (!decoder_->Failed()) {
            reader_->Feed(rest);
            reader_->Finish();
        }
    }
    if (decoder_->Failed()) file.fault = decoder_->Reason();
    if (file.fault) Forget(file);
    return file.fault;
}

void ListChecker::DropFile() { Forget(files_.back()); }

void ListChecker::Forget(File& file) {
    problems_.resize(file.problems);
    texts_.resize(file.texts);
    rows_ = file.rows;
    imeis_ = file.imeis;
    search_.Rewind(file.mark);
    file.dropped = true;
}

std::uint64_t ListChecker::Lines() const { return files_.empty() ? 0 : files_.back().before + reader_->LineEnds(); }

std::size_t ListChecker::FilesRead() const {
    return static_cast<std::size_t>(std::count_if(files_.begin(), files_.end(), [](const File& f) { return !f.dropped; }));
}

void ListChecker::Row(std::uint64_t line, std::span<const Cell> cells) {
    File& file = files_.back();
    if (file.fault) return;
    const std::uint64_t at = file.before + line;
    if (firstRow_) {
        firstRow_ = false;
        file.table = reader_->Delimiter() != '\0';
        if (TakeHeader(cells) || file.fault) return;
    }
    ++rows_;
    if (file.columns.empty()) {
        for (std::size_t i = 0; i < cells.size(); ++i) CheckImei(cells[i], PlaceOf(at, i));
        return;
    }
    static const Cell kEmpty{{}, 0};
    const auto cellAt = [&](std::size_t i) -> const Cell& { return i < cells.size() ? cells[i] : kEmpty; };
    for (const Column& column : file.columns) {
        if (column.kind == ColumnKind::kImei) {
            CheckImei(cellAt(column.index), PlaceOf(at, column.index));
        } else {
            const Cell* imei = column.imeiOfRow == std::string::npos ? nullptr : &cellAt(column.imeiOfRow);
            CheckImeisv(cellAt(column.index), imei, PlaceOf(at, column.index));
        }
    }
}

bool ListChecker::TakeHeader(std::span<const Cell> cells) {
    File& file = files_.back();
    bool named = false;
    bool imei = false;
    for (const Cell& cell : cells) {
        std::uint64_t value = 0;
        bool right = false;
        named = named || NamesImei(cell.text);
        imei = imei || (FifteenDigits(cell, value, right) && right);
    }
    file.header = named && !imei;
    if (file.header) {
        for (const Cell& cell : cells) file.names.emplace_back(WholeCharacters(cell.text));
    }

    std::vector<std::size_t> chosen;
    for (const ColumnChoice& choice : settings_.columns) {
        if (choice.number > 0) {
            chosen.push_back(choice.number - 1);
            continue;
        }
        const auto match = std::find_if(file.names.begin(), file.names.end(),
                                        [&](const std::string& n) { return Upper(Trimmed(n)) == Upper(choice.name); });
        if (match == file.names.end()) {
            file.fault = "It has no column \"" + choice.name + "\"" + (file.header ? "" : " (no header row)");
            return false;
        }
        chosen.push_back(static_cast<std::size_t>(match - file.names.begin()));
    }
    if (settings_.columns.empty() && file.header) {
        for (std::size_t i = 0; i < file.names.size(); ++i) {
            if (NamesImei(file.names[i])) chosen.push_back(i);
        }
    }
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    for (const std::size_t index : chosen) {
        if (index >= kMostCells) continue;
        const bool sv = index < file.names.size() && NamesImeisv(file.names[index]);
        Column column{index, sv ? ColumnKind::kImeisv : ColumnKind::kImei, std::string::npos};
        for (std::size_t j = 0; sv && j < file.names.size(); ++j) {
            if (NamesImei(file.names[j]) && !NamesImeisv(file.names[j]) && SlotOf(file.names[j]) == SlotOf(file.names[index])) {
                column.imeiOfRow = j;
                break;
            }
        }
        file.columns.push_back(column);
    }
    if (file.columns.empty() && !chosen.empty()) file.fault = "It has none of the chosen columns";
    return file.header;
}

void ListChecker::CheckImei(const Cell& cell, std::uint64_t place) {
    std::uint64_t value = 0;
    bool right = false;
    if (FifteenDigits(cell, value, right)) {
        if (right) {
            ++imeis_;
            if (!Expected(value)) Found(ProblemClass::kOutside, place, value);
        } else {
            Found(ProblemClass::kCheckDigit, place, value);
        }
        Held(value, right, place);
    } else if (Digits(cell, kImeiBodyDigits)) {
        value = DigitsValue(cell.text);
        // With a 0 in front, the same digits make a 15-digit number.
        Found(ProblemClass::kShort, place, value, {}, HasRightCheckDigit(value) ? 1 : 0);
    } else if (Digits(cell, kImeiDigits + 1)) {
        Found(ProblemClass::kImeisv, place, DigitsValue(cell.text));
    } else if (cell.length == cell.text.size() && Scientific(cell.text)) {
        Found(ProblemClass::kScientific, place, 0, cell.text);
    } else if ((value = CleanImei(cell.text, cell.length)) != 0) {
        Found(ProblemClass::kFormat, place, value, cell.text);
        if (!Expected(value)) Found(ProblemClass::kOutside, place, value);
        Held(value, true, place);
    } else {
        Found(ProblemClass::kNotImei, place, 0, cell.text);
    }
}

void ListChecker::CheckImeisv(const Cell& cell, const Cell* imeiOfRow, std::uint64_t place) {
    if (!Digits(cell, kImeiDigits + 1)) {
        Found(ProblemClass::kBadImeisv, place, 0, cell.text, kNot16Digits);
        return;
    }
    const std::uint64_t value = DigitsValue(cell.text);
    if (value % 100 == 99) {
        Found(ProblemClass::kBadImeisv, place, value, cell.text, kSvn99);
        return;
    }
    std::uint64_t imei = 0;
    bool right = false;
    if (imeiOfRow) {
        if (FifteenDigits(*imeiOfRow, imei, right) && imei / 10 != value / 100) {
            Found(ProblemClass::kBadImeisv, place, value, cell.text, kOtherImei, imei);
        }
        return;
    }
    // With no IMEI column beside it, the IMEISV stands for its device's IMEI.
    imei = ImeiOfBody(value / 100);
    if (!Expected(imei)) Found(ProblemClass::kOutside, place, imei);
    Held(imei, true, place);
}

void ListChecker::Found(ProblemClass kind, std::uint64_t place, std::uint64_t value, std::string_view text,
                        std::uint8_t detail, std::uint64_t other) {
    if (SeverityOf(kind) == Severity::kIgnored) return;
    text = WholeCharacters(text);
    // Past 4 GiB of quoted cells the rest are reported without their text.
    if (texts_.size() + text.size() > UINT32_MAX) text = {};
    problems_.push_back({place, value, other, static_cast<std::uint32_t>(texts_.size()),
                         static_cast<std::uint16_t>(text.size()), kind, detail});
    texts_.append(text);
}

void ListChecker::Held(std::uint64_t imei, bool right, std::uint64_t place) {
    if (SeverityOf(ProblemClass::kRepeat) == Severity::kIgnored && settings_.expected.empty()) return;
    search_.Add(imei, right, place);
}

bool ListChecker::Expected(std::uint64_t imei) const {
    if (settings_.expected.empty() && settings_.tacs.empty()) return true;
    const std::uint64_t body = imei / 10;
    const auto range = std::upper_bound(settings_.expected.begin(), settings_.expected.end(), body,
                                        [](std::uint64_t b, const BodyRange& r) { return b < r.first; });
    if (range != settings_.expected.begin() && body <= (range - 1)->last) return true;
    return std::binary_search(settings_.tacs.begin(), settings_.tacs.end(), TacOf(imei));
}

void ListChecker::Finish() {
    search_.Sort();
    const std::vector<BodyRange>& ranges = settings_.expected;
    if (!ranges.empty()) {
        std::size_t r = 0;
        std::uint64_t next = ranges[0].first;  // the first body not yet known to appear
        const auto gap = [&](std::uint64_t last) {
            missing_.push_back({next, last - next + 1});
            missingImeis_ += last - next + 1;
        };
        const auto onward = [&] {
            while (r < ranges.size() && next > ranges[r].last) {
                if (++r < ranges.size()) next = std::max(next, ranges[r].first);
            }
        };
        search_.ForEachBodyStretch([&](std::uint64_t first, std::uint64_t last) {
            while (r < ranges.size() && first > next) {
                const std::uint64_t end = std::min(first - 1, ranges[r].last);
                gap(end);
                next = end + 1;
                onward();
            }
            if (r < ranges.size() && last >= next) {
                next = last + 1;
                onward();
            }
        });
        while (r < ranges.size()) {
            gap(ranges[r].last);
            next = ranges[r].last + 1;
            onward();
        }
        if (SeverityOf(ProblemClass::kMissing) == Severity::kIgnored) missing_.clear();
    }
    if (SeverityOf(ProblemClass::kRepeat) != Severity::kIgnored) search_.FindRepeats();
}

Where ListChecker::WhereIs(std::uint64_t place) const {
    const std::uint64_t line = place >> kColumnBits;
    const auto column = static_cast<std::size_t>(place & ((std::uint64_t{1} << kColumnBits) - 1));
    const auto after = std::upper_bound(files_.begin(), files_.end(), line,
                                        [](std::uint64_t l, const File& f) { return l <= f.before; });
    const File& file = *(after - 1);
    const std::string* name = file.header && column < file.names.size() ? &file.names[column] : nullptr;
    return {&file.name, line - file.before, file.table, name, column + 1};
}

}  // namespace kestrino::cli
