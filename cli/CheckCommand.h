#pragma once

#include "cli/Command.h"

#include <string>
#include <vector>

namespace kestrino::cli {

// An `--expect FIRST COUNT`: COUNT IMEIs from FIRST on, both as typed. FIRST is
// a 14-digit body or a 15-digit IMEI with its right check digit; COUNT is 1 or more.
struct ExpectedRange {
    std::string first;
    std::string count;
};

// What `kestrino-cli check` is asked for; every text as the user typed it.
struct CheckOptions {
    std::vector<std::string> files;    // the lists; "-" (or none at all) is standard input
    std::vector<std::string> columns;  // column names (any case) or 1-based numbers; none: chosen by the header
    std::string delimiter;             // ",", ";", "tab" (or a tab); empty: found from the first non-blank row
    std::vector<ExpectedRange> expected;
    std::vector<std::string> tacs;     // 8 digits each
    std::vector<std::string> warn;     // problem classes reported as warnings ("check-digit", "repeat", ...)
    std::vector<std::string> ignore;   // problem classes not reported at all
    bool json = false;                 // JSON Lines on standard output instead of FILE:LINE: message
};

// Checks the lists, writes the report to standard output (FILE:LINE: message,
// or JSON Lines with json) and the summary line to standard error. Returns
// kDone when no problem is an error (warnings allowed), kFailed when one is,
// and kUsage when an option is invalid (nothing is read; the reason goes to
// standard error) or a list could not be read or is in no encoding it knows
// (each such list named on standard error; the others are still checked).
// Throws EStreamError when the report cannot be written.
ExitCode RunCheck(const CheckOptions& options);

// The problem classes that --warn and --ignore name, in report order.
std::vector<std::string> ProblemClassNames();

}  // namespace kestrino::cli
