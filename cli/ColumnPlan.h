#pragma once

#include "cli/ListWriter.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrino::cli {

// Bodies are 14 digits: 0 to kBodyEnd - 1.
inline constexpr std::uint64_t kBodyEnd = 100'000'000'000'000;
// Serials of one TAC: the body's last 6 digits.
inline constexpr std::uint64_t kTacSerials = 1'000'000;

// The rows of a list that obeys every rule: device k's IMEI in column c has
// the body starts[c] + k * stride, below kBodyEnd, and no body appears twice.
struct ColumnPlan {
    std::uint64_t devices = 0;
    std::uint64_t stride = 1;
    std::vector<std::uint64_t> starts;  // IMEI1's first body, then IMEI2's...
    std::optional<std::string> svn;     // two digits: IMEISV columns follow the IMEI columns
    ListFormat format = ListFormat::kText;
    bool lf = false;

    std::uint64_t Body(std::size_t column, std::uint64_t device) const { return starts[column] + device * stride; }
    // "IMEI" for one column, "IMEI1,IMEI2"... for more, then "IMEISV"... alike.
    std::vector<std::string> HeaderNames() const;
    std::string_view LineEnd() const { return lf ? "\n" : "\r\n"; }
};

// The 14 digits of a body below kBodyEnd.
std::string BodyText(std::uint64_t body);

// One IMEI after another, each a step of 1 to 9 bodies from the last: the
// body's digits and its check digit, kept up to date digit by digit.
class ImeiCounter {
public:
    explicit ImeiCounter(std::uint64_t body);
    // The IMEI's 15 digits, then ImeiCounter's spare byte: 16 bytes to copy.
    const char* Digits() const { return text_; }
    void Advance(std::uint32_t step);
    // The byte after the 15 digits, so that a copy of 16 bytes brings a separator along.
    void SetSpare(char c) { text_[15] = c; }

private:
    void UpdateCheckDigit();

    char text_[16];
    std::int32_t headSum_ = 0;  // Luhn sum of the first 13 digits
};

}  // namespace kestrino::cli
