#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Number text rules: every number that enters or leaves Kestrino passes here.
// Texts are byte strings. A scan ends at the end of the text or at its first
// NUL; positions are 1-based and the end counts as one more position.
// Positions past INT32_MAX are reported as INT32_MAX, so that a failed scan
// never reports 0 or a negative position, however long the text.
namespace kestrino {

// errorPosition is 0 when the text is one valid integer, otherwise the
// position where the scan stopped; value is delivered either way.
struct ScanResult {
    std::int64_t value;
    std::int32_t errorPosition;
};

struct ScanResult32 {
    std::int32_t value;
    std::int32_t errorPosition;
};

// Lenient 64-bit scan: blanks, one sign, optional "$"/"x"/"X"/"0x"/"0X", digits.
// Never fails. On failure value holds the digits taken with the sign applied;
// decimal overflow wraps as two's complement and is reported at the digit that
// wrapped (e.g. "9223372036854775808" -> INT64_MIN at position 19).
ScanResult ScanInteger(std::string_view text);

// The same syntax with 32-bit limits; hexadecimal takes any 32-bit pattern.
// A decimal text is accepted exactly when ScanInteger accepts it with a value
// in the 32-bit range. On failure the position is non-zero, the value unspecified.
ScanResult32 ScanInteger32(std::string_view text);

// The position the scans report for a 0-based index: index + 1, at most INT32_MAX.
std::int32_t ScanPosition(std::size_t index);

// Strict conversions. Throw EConvertError "'<text>' is not a valid integer
// value", quoting the whole text as passed, NULs and all.
std::int64_t TextToInt64(std::string_view text);
std::int32_t TextToInt(std::string_view text);

// Decimal text: "-" for negatives, no leading zeros, no "+", exact at the minimum.
std::string IntToText(std::int32_t value);
std::string IntToText(std::int64_t value);

}  // namespace kestrino
