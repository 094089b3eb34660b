#pragma once

#include "cli/SystemIo.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrino::cli {

// Checks lists of IMEIs, one per line (LF or CR LF; a header "IMEI" on the
// first line and blank lines are skipped), and reports as "FILE:LINE: message":
// a line that is not 15 decimal digits, a wrong check digit, and an IMEI that
// already appeared in any list of the same checker. Duplicates are found
// without keeping any text: 16 bytes per IMEI, its value and its line.
class ListChecker {
public:
    ListChecker();
    ~ListChecker();
    ListChecker(const ListChecker&) = delete;
    ListChecker& operator=(const ListChecker&) = delete;

    // Starts the next list; reports call it name.
    void BeginFile(std::string name);
    // The next bytes of the current list; a line may run across calls.
    void Feed(std::string_view bytes);
    // Ends the current list; a last line without a line end counts as well.
    void EndFile();

    // Non-blank lines other than headers, so far.
    std::uint64_t Imeis() const { return imeis_; }
    // All lines so far, blank ones and headers included.
    std::uint64_t Lines() const { return ordinal_; }

    // Writes every report in the order of the lists and their lines, and
    // returns how many. Call once, after the last EndFile.
    std::uint64_t Report(ByteOutput& output);

    // A line's place: 1-based, counted over all lists in the order given.
    using Ordinal = std::uint64_t;

    // An IMEI and its line; or, while lines are read, a run of IMEIs on
    // consecutive lines with consecutive bodies and right check digits, which
    // is how generated lists arrive: a whole clean list takes a few entries.
    struct Entry {
        std::uint64_t value;  // the first IMEI; bits 50 and up: the run's length - 1
        Ordinal ordinal;      // the line of the first
    };

private:
    enum class Kind : std::uint8_t { kNotAnImei, kCheckDigit };
    struct Problem {
        Ordinal ordinal;
        std::uint64_t detail;  // the value, or where its quoted text starts in quoted_
        Kind kind;
    };
    struct File {
        std::string name;
        Ordinal before;  // ordinal of the line before its first
    };

    void Line(std::string_view kept, std::uint64_t length, bool blank);
    void Add(std::uint64_t value, bool rightCheckDigit);
    // Entry per IMEI, sorted by value and line: what finding duplicates needs.
    void ExpandRuns();
    std::string Where(Ordinal ordinal) const;

    std::vector<File> files_;
    std::vector<Problem> problems_;
    std::string quoted_;  // quoted lines, each ended by "\n", which a quote never holds

    // Grown with realloc, which large blocks usually do in place: a vector
    // would briefly hold the old and the new copy, 48 bytes per IMEI.
    Entry* entries_ = nullptr;
    std::size_t count_ = 0;
    std::size_t capacity_ = 0;
    std::uint64_t held_ = 0;   // IMEIs in the entries
    bool increasing_ = true;   // every value above the one before: no duplicates
    bool lastRight_ = false;   // the last IMEI held had its right check digit
    std::uint64_t lastValue_ = 0;

    Ordinal ordinal_ = 0;
    std::uint64_t imeis_ = 0;
    std::string partial_;  // the start of a line that runs across Feed calls
    std::uint64_t partialLength_ = 0;
    bool partialBlank_ = true;
};

}  // namespace kestrino::cli
