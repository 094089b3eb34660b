#pragma once

// IMEIs as 64-bit values, for the checker: the 15 digits as one number, the
// 14-digit body as the value divided by 10.

#include "core/CheckDigit.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrino::cli {

inline constexpr std::size_t kImeiDigits = 15;

// The check digit of a body below 10^14, by the core's Luhn step.
constexpr std::uint64_t CheckDigitOfBody(std::uint64_t body) {
    std::int32_t sum = 0;
    for (std::size_t i = kImeiBodyDigits; i > 0; --i, body /= 10) {
        sum += LuhnTerm(i - 1, static_cast<std::int32_t>(body % 10));
    }
    return static_cast<std::uint64_t>(CheckDigitOfSum(sum));
}

constexpr std::uint64_t ImeiOfBody(std::uint64_t body) { return body * 10 + CheckDigitOfBody(body); }

constexpr bool HasRightCheckDigit(std::uint64_t imei) { return CheckDigitOfBody(imei / 10) == imei % 10; }

// An IMEI's first 8 digits: its Type Allocation Code.
constexpr std::uint64_t TacOf(std::uint64_t imei) { return imei / 10'000'000; }

// Whether text holds decimal digits and nothing else (true for "").
inline bool AllDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The value of text that AllDigits accepts, of at most 19 digits.
inline std::uint64_t DigitsValue(std::string_view digits) {
    std::uint64_t value = 0;
    for (const char c : digits) value = value * 10 + static_cast<std::uint64_t>(c - '0');
    return value;
}

// The value's decimal text, zero-padded to width digits.
inline std::string DigitsText(std::uint64_t value, std::size_t width = kImeiDigits) {
    std::string text(width, '0');
    for (std::size_t i = width; i > 0 && value > 0; --i, value /= 10) text[i - 1] = static_cast<char>('0' + value % 10);
    return text;
}

}  // namespace kestrino::cli
