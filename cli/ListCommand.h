#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrino::cli {

// What `kestrino-cli list` was asked for.
struct ListRequest {
    std::string first;     // the first body, as typed
    std::string quantity;  // the number of lines, as typed
    std::optional<std::string> output;  // the file to replace; none for standard output
    bool lf = false;       // LF after each line instead of CR LF
};

// Writes "IMEI" and the bodies with their check digits, byte for byte what
// the window saves after the same run. A bad first body or quantity fails
// before anything is written; a run that fails later keeps the lines it wrote
// to standard output and leaves a file given with -o as it was. Throws
// EConvertError, EStreamError or EInterrupted.
void WriteList(const ListRequest& request);

// Writes the last body of the range, as the window's Last IMEI14 field shows
// it, and the platform's line end. Throws EConvertError.
void WriteLast(std::string_view first, std::string_view quantity);

}  // namespace kestrino::cli
