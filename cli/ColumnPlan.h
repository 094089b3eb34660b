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
    // The IMEI's 15 digits, then the spare byte: 16 bytes to copy.
    const char* Digits() const { return text_; }
    void Advance(std::uint32_t step) {
        const std::uint32_t last = last_ + step;
        if (last < 10) {
            last_ = last;
            text_[13] = static_cast<char>('0' + last);
            text_[14] = checks_[last];
        } else {
            Carry(last - 10);
        }
    }
    // The byte after the 15 digits, so that a copy of 16 bytes brings a separator along.
    void SetSpare(char c) { text_[15] = c; }

private:
    void Carry(std::uint32_t last);
    // The check digits for each last digit, from the Luhn sum of the first 13 digits.
    void UpdateChecks();

    char text_[16];
    const char* checks_ = nullptr;  // ten check digits, one per last digit
    std::int32_t headSum_ = 0;      // Luhn sum of the first 13 digits
    std::uint32_t last_ = 0;        // the body's last digit
};

}  // namespace kestrino::cli
