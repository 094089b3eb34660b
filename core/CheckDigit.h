#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrino {

// Number of body digits the check digit covers.
inline constexpr std::size_t kImeiBodyDigits = 14;

// The Luhn step, the one place it is written. A body's Luhn sum adds each of
// its 14 digits through LuhnTerm (index 0 is the first digit; odd indexes are
// doubled and their digits summed); CheckDigitOfSum turns the sum into the
// check digit 0..9.
constexpr std::int32_t LuhnTerm(std::size_t index, std::int32_t digit) {
    // Digit sum of 2*d for d = 0..9.
    constexpr std::int32_t kDoubled[10] = {0, 2, 4, 6, 8, 1, 3, 5, 7, 9};
    return index % 2 == 1 ? kDoubled[digit] : digit;
}
constexpr std::int32_t CheckDigitOfSum(std::int32_t luhnSum) { return (10 - luhnSum % 10) % 10; }

// Luhn check digit (0..9) of the first 14 characters of a body's decimal text;
// characters after the 14th are ignored. Throws EConvertError at the first of
// those 14 that is not a digit: "'-' is not a valid integer value" for a sign,
// "'<text>' is not a valid IMEI body: it has fewer than 14 digits" when short.
std::int32_t CheckDigitOfText(std::string_view bodyText);

// CheckDigitOfText of the body's decimal text (IntToText): negative bodies and
// bodies below 10000000000000 throw EConvertError.
std::int32_t Gen15(std::int64_t body);

}  // namespace kestrino
