#pragma once

// The last line `check` writes on standard error, for the tests that run it.

#include <string>

namespace kestrino::cli::test {

inline std::string CheckSummary(long long rows, long long imeis, long long errors, long long warnings = 0) {
    const auto counted = [](long long n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    return counted(rows, "row", "rows") + ", " + counted(imeis, "IMEI", "IMEIs") + ", " +
           counted(errors, "error", "errors") + ", " + counted(warnings, "warning", "warnings");
}

}  // namespace kestrino::cli::test
