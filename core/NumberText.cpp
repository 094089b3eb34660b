#include "core/NumberText.h"

#include "core/Exception.h"

#include <cstddef>
#include <utility>

namespace kestrino {
namespace {

constexpr char kBlank = ' ';

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

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

// 1-based position of index i.
std::int32_t PositionOf(std::size_t i) { return static_cast<std::int32_t>(i + 1); }

std::int32_t ResultPosition(const Prefix& pre, std::size_t i, bool tookDigit) {
    return tookDigit && i == pre.end ? 0 : PositionOf(i);
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

}  // namespace

ScanResult ScanInteger(std::string_view text) {
    if (text.empty()) return {0, 1};
    const Prefix pre = ReadPrefix(text);
    std::size_t i = pre.start;
    bool tookDigit = false;
    std::uint64_t value = 0;

    if (pre.hex) {
        constexpr std::uint64_t kRoomForDigit = 0x0FFFFFFFFFFFFFFFu;
        for (int d; i < pre.end && (d = HexDigitValue(text[i])) >= 0; ++i) {
            if (value > kRoomForDigit) break;
            value = value * 16 + static_cast<std::uint64_t>(d);
            tookDigit = true;
        }
        if (pre.negative) value = 0 - value;
        return {static_cast<std::int64_t>(value), ResultPosition(pre, i, tookDigit)};
    }

    // The limit test comes before the digit, so the last digit taken may carry
    // the value past INT64_MAX; that wrap is caught by the sign test below.
    constexpr std::uint64_t kRoomForDigit = 922337203685477580u;
    constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
    for (; i < pre.end && IsDecimalDigit(text[i]); ++i) {
        if (value > kRoomForDigit) break;  // also catches a value already negative
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        tookDigit = true;
    }
    if (pre.negative) value = 0 - value;
    const bool valueNegative = (value & kSignBit) != 0;
    if (value != 0 && valueNegative != pre.negative) --i;  // onto the digit that wrapped
    return {static_cast<std::int64_t>(value), ResultPosition(pre, i, tookDigit)};
}

ScanResult32 ScanInteger32(std::string_view text) {
    if (text.empty()) return {0, 1};
    const Prefix pre = ReadPrefix(text);
    std::size_t i = pre.start;
    bool tookDigit = false;
    std::uint32_t value = 0;

    if (pre.hex) {
        constexpr std::uint32_t kRoomForDigit = 0x0FFFFFFFu;
        for (int d; i < pre.end && (d = HexDigitValue(text[i])) >= 0; ++i) {
            if (value > kRoomForDigit) break;
            value = value * 16 + static_cast<std::uint32_t>(d);
            tookDigit = true;
        }
        if (pre.negative) value = 0 - value;
        return {static_cast<std::int32_t>(value), ResultPosition(pre, i, tookDigit)};
    }

    constexpr std::uint32_t kRoomForDigit = 214748364u;
    for (; i < pre.end && IsDecimalDigit(text[i]); ++i) {
        if (value > kRoomForDigit) break;
        value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');  // at most 2147483649
        tookDigit = true;
    }
    const std::uint32_t limit = pre.negative ? 2147483648u : 2147483647u;
    const bool outOfRange = value > limit;
    if (pre.negative) value = 0 - value;
    if (outOfRange) return {static_cast<std::int32_t>(value), PositionOf(i - 1)};
    return {static_cast<std::int32_t>(value), ResultPosition(pre, i, tookDigit)};
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
