#pragma once

#include "cli/ListChecker.h"
#include "cli/SystemIo.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrino::cli {

struct ReportCounts {
    std::uint64_t errors = 0;
    std::uint64_t warnings = 0;
};

// Writes what a finished checker holds: for people, "FILE:LINE: message" (the
// column's name or number after the line for tables, "warning: " before the
// message of a warning), in file order, then the missing stretches; with json,
// one JSON object a line instead. Returns the problems by severity.
ReportCounts WriteReport(const ListChecker& checker, bool json, ByteOutput& output);

// "R rows, N IMEIs, E errors, W warnings" and, when reconciling, ", M missing".
std::string SummaryLine(const ListChecker& checker, const ReportCounts& counts);
// {"summary": {...}} with the same counts and the files read.
std::string JsonSummary(const ListChecker& checker, const ReportCounts& counts);

// text as a quotation: at most 40 characters, cut on a character boundary,
// with tabs, control and invisible characters written as escapes (\t, \x00, \uFEFF).
std::string Quoted(std::string_view text);

}  // namespace kestrino::cli
