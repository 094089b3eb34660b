#include "core/NumberText.h"

#include "core/Exception.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace kestrino {
namespace {

constexpr char kBlank = ' ';

// Value of a decimal digit, or -1.
int DecimalDigitValue(char c) { return c >= '0' && c <= '9' ? c - '0' : -1; }

// Value of a hexadecimal digit, or -1.
int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Syntax shared by both widths: where the digits start, the sign and the base.
struct Prefix {
    std::size_t end;    // index of the first NUL, or the length
    std::size_t start;  // index of the first digit candidate
    bool negative;
    bool hex;
};

Prefix ReadPrefix(std::string_view text) {
    Prefix r{text.size(), 0, false, false};
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) r.end = nul;

    // Past the end every character reads as NUL, which matches none of these.
    auto at = [&](std::size_t i) { return i < r.end ? text[i] : '\0'; };

    std::size_t i = 0;
    while (at(i) == kBlank) ++i;
    if (at(i) == '-') {
        r.negative = true;
        ++i;
    } else if (at(i) == '+') {
        ++i;
    }
    const char c = at(i);
    if (c == '$' || c == 'x' || c == 'X') {
        r.hex = true;
        i += 1;
    } else if (c == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X')) {
        r.hex = true;
        i += 2;
    }
    r.start = i;
    return r;
}

std::int32_t ResultPosition(const Prefix& pre, std::size_t i, bool tookDigit) {
    return tookDigit && i == pre.end ? 0 : ScanPosition(i);
}

[[noreturn]] void ThrowNotInteger(std::string_view text) {
    std::string message;
    message.reserve(text.size() + 32);
    message += '\'';
    message += text;
    message += "' is not a valid integer value";
    throw EConvertError(std::move(message));
}

// Digits of magnitude, written backwards ending at end; returns the first char.
char* WriteDigits(std::uint64_t magnitude, char* end) {
    do {
        *--end = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    return end;
}

std::string FormatSigned(bool negative, std::uint64_t magnitude) {
    char buffer[24];
    char* const end = buffer + sizeof buffer;
    char* first = WriteDigits(magnitude, end);
    if (negative) *--first = '-';
    return std::string(first, end);
}

// The one scan both widths use, on the unsigned type of the width: digits
// are taken while one more fits, the sign is applied by wrapping, and a
// decimal magnitude past the signed range is reported at the digit that took
// it there. Hexadecimal takes any bit pattern of the width.
template <typename Unsigned>
struct Scanned {
    Unsigned bits;
    std::int32_t errorPosition;
};

template <typename Unsigned>
Scanned<Unsigned> Scan(std::string_view text) {
    if (text.empty()) return {0, 1};
    const Prefix pre = ReadPrefix(text);
    const unsigned base = pre.hex ? 16 : 10;
    // Decimal stops one digit past the signed range, so that the value
    // delivered is the one the wrap gives.
    const auto allBits = static_cast<Unsigned>(~Unsigned{0});
    const Unsigned roomForDigit = pre.hex ? allBits / 16 : (allBits >> 1) / 10;
    std::size_t i = pre.start;
    bool tookDigit = false;
    Unsigned magnitude = 0;
    for (int d; i < pre.end && (d = pre.hex ? HexDigitValue(text[i]) : DecimalDigitValue(text[i])) >= 0; ++i) {
        if (magnitude > roomForDigit) break;
        magnitude = static_cast<Unsigned>(magnitude * base + static_cast<Unsigned>(d));
        tookDigit = true;
    }
    const Unsigned bits = pre.negative ? static_cast<Unsigned>(0 - magnitude) : magnitude;
    if (!pre.hex) {
        // The largest magnitude the sign allows: 2^(n-1) - 1, or 2^(n-1) when negative.
        const Unsigned limit = static_cast<Unsigned>((allBits >> 1) + (pre.negative ? 1 : 0));
        if (magnitude > limit) return {bits, ScanPosition(i - 1)};
    }
    return {bits, ResultPosition(pre, i, tookDigit)};
}

}  // namespace

std::int32_t ScanPosition(std::size_t index) {
    constexpr auto kLast = static_cast<std::size_t>(INT32_MAX);
    return index < kLast ? static_cast<std::int32_t>(index + 1) : INT32_MAX;
}

ScanResult ScanInteger(std::string_view text) {
    const auto r = Scan<std::uint64_t>(text);
    return {static_cast<std::int64_t>(r.bits), r.errorPosition};
}

ScanResult32 ScanInteger32(std::string_view text) {
    const auto r = Scan<std::uint32_t>(text);
    return {static_cast<std::int32_t>(r.bits), r.errorPosition};
}

std::int64_t TextToInt64(std::string_view text) {
    const ScanResult r = ScanInteger(text);
    if (r.errorPosition != 0) ThrowNotInteger(text);
    return r.value;
}

std::int32_t TextToInt(std::string_view text) {
    const ScanResult32 r = ScanInteger32(text);
    if (r.errorPosition != 0) ThrowNotInteger(text);
    return r.value;
}

std::string IntToText(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    const std::uint32_t magnitude = value < 0 ? 0 - bits : bits;
    return FormatSigned(value < 0, magnitude);
}

std::string IntToText(std::int64_t value) {
    const auto bits = static_cast<std::uint64_t>(value);
    const std::uint64_t magnitude = value < 0 ? 0 - bits : bits;
    return FormatSigned(value < 0, magnitude);
}

}  // namespace kestrino
