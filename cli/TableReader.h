#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrino::cli {

// One cell of a row, its quotes removed ("" read as ").
struct Cell {
    std::string_view text;  // the first kKeptCellBytes bytes of the cell
    std::uint64_t length;   // the whole cell's bytes
};
inline constexpr std::size_t kKeptCellBytes = 256;
// Cells after this many in one row are not handed on.
inline constexpr std::size_t kMostCells = 4096;

class RowReceiver {
public:
    // A row that holds more than blanks; line is where it starts (1-based).
    virtual void Row(std::uint64_t line, std::span<const Cell> cells) = 0;

protected:
    ~RowReceiver() = default;
};

// Splits UTF-8 text into rows of cells: lines ended by CR LF, LF or CR; cells
// split at the delimiter (none: a plain list, one cell a row), with RFC 4180
// quoting, so that a quoted cell may hold delimiters, quotes and line ends.
// The delimiter, when not given, is found from the first row that holds more
// than blanks: a tab if it has one outside quotes, else ";", else ",", else none.
class TableReader {
public:
    // delimiter: ',', ';' or '\t'; '\0' to find it.
    TableReader(RowReceiver& receiver, char delimiter);

    // The next text; a row may run across calls.
    void Feed(std::string_view text);
    // Ends the text: a last row without a line end (or with an open quote) counts as well.
    void Finish();

    // The delimiter in use ('\0' for a plain list, or before it is known).
    char Delimiter() const { return delimiter_; }
    // Line ends seen so far.
    std::uint64_t LineEnds() const { return lineEnds_; }

private:
    enum class State : std::uint8_t { kUnquoted, kQuoted, kQuoteInQuoted };
    void Use(char delimiter);
    void Scan(std::string_view text);
    const char* WholeRow(const char* p, const char* end);
    void Append(const char* from, const char* to);
    void EndCell();
    void EndRow();

    RowReceiver& receiver_;
    bool known_;
    char delimiter_;
    std::string pending_;  // the text before the delimiter is known
    unsigned char kind_[256];

    State state_ = State::kUnquoted;
    bool afterCr_ = false;
    bool cellStarted_ = false;  // a quote now is a character, not the start of quoting
    bool content_ = false;      // the row holds more than blanks
    std::uint64_t lineEnds_ = 0;
    std::uint64_t rowLine_ = 1;

    struct Span {
        std::size_t at;
        std::size_t kept;
        std::uint64_t length;
    };
    std::string rowText_;
    std::vector<Span> spans_;
    Span cell_{0, 0, 0};
    std::vector<Cell> cells_;
};

}  // namespace kestrino::cli
