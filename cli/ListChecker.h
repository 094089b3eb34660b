#pragma once

#include "cli/RepeatSearch.h"
#include "cli/TableReader.h"
#include "cli/TextDecoder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrino::cli {

// The classes of problems, in the order of their names in kProblemClassNames.
enum class ProblemClass : std::uint8_t {
    kCheckDigit,
    kShort,
    kImeisv,
    kScientific,
    kFormat,
    kNotImei,
    kBadImeisv,
    kRepeat,
    kOutside,
    kMissing,
};
inline constexpr std::size_t kProblemClasses = 10;
inline constexpr std::array<std::string_view, kProblemClasses> kProblemClassNames = {
    "check-digit", "short", "imeisv", "scientific", "format", "not-imei", "bad-imeisv", "repeat", "outside", "missing"};

enum class Severity : std::uint8_t { kError, kWarning, kIgnored };

// A stretch of 14-digit bodies, first to last.
struct BodyRange {
    std::uint64_t first;
    std::uint64_t last;
};

// A column that --column names: a 1-based number, or a name in any case.
struct ColumnChoice {
    std::size_t number = 0;  // 0: by name
    std::string name;
};

struct CheckSettings {
    char delimiter = '\0';  // '\0': found from each list's first row
    std::vector<ColumnChoice> columns;  // none: by the header
    std::vector<BodyRange> expected;
    std::vector<std::uint64_t> tacs;
    std::array<Severity, kProblemClasses> severity{};  // all errors
};

// A problem found in a cell. What its message needs: value is the IMEI (or
// the 14- or 16-digit number) it concerns; text the cell as read, for the
// classes whose cells are not plain digits.
struct Problem {
    std::uint64_t place;  // as ListChecker::WhereIs reads it
    std::uint64_t value;
    std::uint64_t other;  // bad-imeisv: the body of the row's IMEI; repeat: the first place
    std::uint32_t textAt;
    std::uint16_t textSize;
    ProblemClass kind;
    std::uint8_t detail;  // short: a leading 0 gives a valid IMEI; bad-imeisv: which fault
};
enum BadImeisv : std::uint8_t { kNot16Digits, kSvn99, kOtherImei };

// Where a problem is, for people and for JSON.
struct Where {
    const std::string* file;
    std::uint64_t line;
    bool table;                 // a column is named
    const std::string* column;  // its header name, or nullptr for a number
    std::size_t number;         // 1-based
};

// A stretch of expected IMEIs that appear nowhere.
struct Missing {
    std::uint64_t firstBody;
    std::uint64_t count;
};

// Checks lists of IMEIs as they come from spreadsheets and device exports:
// decodes each (TextDecoder), splits it into rows and cells (TableReader),
// finds its header and the columns to check, and records every problem. It
// only finds; Finish ends the search and the caller reports what it holds.
class ListChecker final : private RowReceiver {
public:
    explicit ListChecker(CheckSettings settings);
    ~ListChecker();
    ListChecker(const ListChecker&) = delete;
    ListChecker& operator=(const ListChecker&) = delete;

    // Starts the next list; reports call it name.
    void BeginFile(std::string name);
    // The next bytes of the current list; a row may run across calls.
    void Feed(std::string_view bytes);
    // Ends the current list. Returns the reason when it is in no encoding
    // known or lacks a chosen column: then it is dropped, as if never read.
    std::optional<std::string> EndFile();
    // Drops the current list (it could not be read to its end).
    void DropFile();

    // Rows other than headers and blank ones, and cells holding a valid IMEI, so far.
    std::uint64_t Rows() const { return rows_; }
    std::uint64_t Imeis() const { return imeis_; }
    // Line ends read so far, for progress.
    std::uint64_t Lines() const;

    // Ends the search: repeats and missing stretches. Call once, after the last EndFile.
    void Finish();

    // After Finish: calls visit(const Problem&) for each problem of a cell,
    // repeats included, in file order; on one cell, a repeat comes last.
    template <typename Visit>
    void ForEachProblem(Visit visit) const;
    // After Finish: the missing stretches, by value.
    const std::vector<Missing>& MissingStretches() const { return missing_; }
    std::uint64_t MissingImeis() const { return missingImeis_; }
    std::string_view TextOf(const Problem& p) const { return std::string_view(texts_).substr(p.textAt, p.textSize); }
    Where WhereIs(std::uint64_t place) const;
    Severity SeverityOf(ProblemClass kind) const { return settings_.severity[static_cast<std::size_t>(kind)]; }
    bool Reconciling() const { return !settings_.expected.empty(); }
    std::size_t FilesRead() const;

private:
    enum class ColumnKind : std::uint8_t { kImei, kImeisv };
    struct Column {
        std::size_t index;
        ColumnKind kind;
        std::size_t imeiOfRow;  // an IMEISV column's matching IMEI column, or npos
    };
    struct File {
        std::string name;
        std::uint64_t before;  // line ends of the files before
        bool table = false;
        bool header = false;
        bool dropped = false;
        std::vector<std::string> names;  // the header's cells
        std::vector<Column> columns;     // none with no header and no choice: every cell is an IMEI
        std::optional<std::string> fault;
        // What to forget when the file is dropped.
        std::size_t problems;
        std::size_t texts;
        std::uint64_t rows;
        std::uint64_t imeis;
        RepeatSearch::Mark mark;
    };

    void Row(std::uint64_t line, std::span<const Cell> cells) override;
    bool TakeHeader(std::span<const Cell> cells);
    void CheckImei(const Cell& cell, std::uint64_t place);
    void CheckImeisv(const Cell& cell, const Cell* imeiOfRow, std::uint64_t place);
    void Found(ProblemClass kind, std::uint64_t place, std::uint64_t value, std::string_view text = {},
               std::uint8_t detail = 0, std::uint64_t other = 0);
    void Held(std::uint64_t imei, bool right, std::uint64_t place);
    bool Expected(std::uint64_t imei) const;
    void Forget(File& file);

    CheckSettings settings_;
    std::vector<File> files_;
    std::unique_ptr<TextDecoder> decoder_;
    std::unique_ptr<TableReader> reader_;
    bool firstRow_ = true;

    RepeatSearch search_;
    std::vector<Problem> problems_;
    std::string texts_;
    std::vector<Missing> missing_;
    std::uint64_t missingImeis_ = 0;
    std::uint64_t rows_ = 0;
    std::uint64_t imeis_ = 0;
};

template <typename Visit>
void ListChecker::ForEachProblem(Visit visit) const {
    auto problem = problems_.begin();
    std::size_t repeat = 0;
    const std::size_t repeats = search_.Repeats();
    while (problem != problems_.end() || repeat < repeats) {
        if (repeat == repeats) {
            visit(*problem++);
            continue;
        }
        const RepeatSearch::Repeat r = search_.RepeatAt(repeat);
        if (problem != problems_.end() && problem->place <= r.place) {
            visit(*problem++);
        } else {
            visit(Problem{r.place, r.imei, r.first, 0, 0, ProblemClass::kRepeat, 0});
            ++repeat;
        }
    }
}

}  // namespace kestrino::cli
