#include "core/NumberText.h"

#include "core/Exception.h"

#include "tests/common/KnownLists.h"
#include "tests/core/ExpectError.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace kestrino {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();

// Row text with NULs, tabs and high bytes made visible.
std::string Visible(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\0') {
            out += "\\0";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte >= 128) {
            out += "\\x" + std::to_string(byte);
        } else {
            out += c;
        }
    }
    return out + "\"";
}

using known::NotAnInteger;

struct ScanCase {
    std::string_view text;
    std::int64_t value;
    std::int32_t errorPosition;
};

const ScanCase kScanCases[] = {
    // No digits: value 0 at the position where the scan stood.
    {""sv, 0, 1},
    {"\0"sv, 0, 1},
    {"   "sv, 0, 4},
    {"\t12"sv, 0, 1},
    {"+"sv, 0, 2},
    {"-"sv, 0, 2},
    {"- 5"sv, 0, 2},
    {"+-5"sv, 0, 2},
    {"$"sv, 0, 2},
    {"0x"sv, 0, 3},
    {"-0x"sv, 0, 4},
    {"\xB5"sv, 0, 1},

    // Blanks, signs, leading zeros.
    {"  12"sv, 12, 0},
    {"12 "sv, 12, 3},
    {"1 2"sv, 1, 2},
    {"-5"sv, -5, 0},
    {" -5"sv, -5, 0},
    {"+5"sv, 5, 0},
    {"0"sv, 0, 0},
    {"-0"sv, 0, 0},
    {"0012"sv, 12, 0},
    {"00000000000000000000000012"sv, 12, 0},

    // A NUL ends the text.
    {"12\0 34"sv, 12, 0},

    // Hexadecimal.
    {"$1F"sv, 31, 0},
    {"$1f"sv, 31, 0},
    {"0x1F"sv, 31, 0},
    {"0X1F"sv, 31, 0},
    {"x1F"sv, 31, 0},
    {"-$1F"sv, -31, 0},
    {"-0x1F"sv, -31, 0},
    {"$0000000000000000001"sv, 1, 0},
    {"$7FFFFFFFFFFFFFFF"sv, kMax64, 0},
    {"$8000000000000000"sv, kMin64, 0},
    {"-$8000000000000000"sv, kMin64, 0},
    {"$FFFFFFFFFFFFFFFF"sv, -1, 0},
    {"-$FFFFFFFFFFFFFFFF"sv, 1, 0},

    // Stopped early: the digits taken, with the sign applied.
    {"$1G"sv, 1, 3},
    {"-$1G"sv, -1, 4},
    {"1F"sv, 1, 2},
    {"00x1F"sv, 0, 3},
    {"12A34"sv, 12, 3},
    {"-12A"sv, -12, 4},
    {"1\xFF"sv, 1, 2},
    {"$10000000000000000"sv, 1152921504606846976, 18},

    // IMEI bodies.
    {"35851102000002"sv, 35851102000002, 0},
    {"3585110200000A"sv, 3585110200000, 14},

    // At and past the 64-bit limits.
    {"1234567890123456789"sv, 1234567890123456789, 0},
    {"9223372036854775807"sv, kMax64, 0},
    {"9223372036854775807 "sv, kMax64, 20},
    {"9223372036854775808"sv, kMin64, 19},
    {"9223372036854775809"sv, kMin64 + 1, 19},
    {"9999999999999999999"sv, 999999999999999999, 19},
    {"-9223372036854775807"sv, -kMax64, 0},
    {"-9223372036854775808"sv, kMin64, 0},
    {"-9223372036854775809"sv, kMax64, 20},
    {"-92233720368547758080"sv, kMin64, 21},
    {"12345678901234567890"sv, 1234567890123456789, 20},
    {"92233720368547758070"sv, kMax64, 20},
    {"92233720368547758080"sv, kMin64, 19},
    {"99999999999999999999"sv, 999999999999999999, 19},
    {"-10000000000000000000"sv, -1000000000000000000, 21},
};

TEST(ScanIntegerTest, ValueAndErrorPosition) {
    for (const ScanCase& c : kScanCases) {
        SCOPED_TRACE(Visible(c.text));
        const ScanResult r = ScanInteger(c.text);
        EXPECT_EQ(r.value, c.value);
        EXPECT_EQ(r.errorPosition, c.errorPosition);
    }
}

// Whatever follows a NUL is never looked at.
TEST(ScanIntegerTest, IgnoresBytesAfterNul) {
    for (const ScanCase& c : kScanCases) {
        SCOPED_TRACE(Visible(c.text));
        const std::string text = std::string(c.text) + "\0 9x-"s;
        const ScanResult r = ScanInteger(text);
        EXPECT_EQ(r.value, c.value);
        EXPECT_EQ(r.errorPosition, c.errorPosition);
    }
}

// Texts of 2^31 bytes and more: a failed scan still reports a positive
// position, never 0 (valid) or a wrapped one.
TEST(ScanPositionTest, StaysPositiveForEveryIndex) {
    constexpr auto kMaxIndex = std::numeric_limits<std::size_t>::max();
    const struct {
        std::size_t index;
        std::int32_t position;
    } cases[] = {
        {0, 1},
        {13, 14},
        {static_cast<std::size_t>(kMax32) - 1, kMax32},
        {static_cast<std::size_t>(kMax32), kMax32},
        {std::size_t{1} << 31, kMax32},
        {(std::size_t{1} << 32) - 1, kMax32},
        {std::size_t{1} << 32, kMax32},
        {kMaxIndex, kMax32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(ScanPosition(c.index), c.position);
    }
}

TEST(TextToInt64Test, ReturnsValueOrThrowsWithWholeText) {
    for (const ScanCase& c : kScanCases) {
        SCOPED_TRACE(Visible(c.text));
        if (c.errorPosition == 0) {
            EXPECT_EQ(TextToInt64(c.text), c.value);
            continue;
        }
        EXPECT_TRUE(RaisesConvertError([&] { TextToInt64(c.text); }, NotAnInteger(c.text)));
    }
}

// For decimal texts the 32-bit scan accepts exactly the 64-bit values that fit.
TEST(ScanInteger32Test, AgreesWithScanIntegerOnDecimalTexts) {
    for (const ScanCase& c : kScanCases) {
        if (c.text.find_first_of("$xX") != std::string_view::npos) continue;
        SCOPED_TRACE(Visible(c.text));
        const bool fits = c.errorPosition == 0 && c.value >= kMin32 && c.value <= kMax32;
        const ScanResult32 r = ScanInteger32(c.text);
        EXPECT_EQ(r.errorPosition == 0, fits);
        if (fits) {
            EXPECT_EQ(r.value, c.value);
        }
    }
}

struct TextToIntCase {
    std::string_view text;
    bool valid;
    std::int32_t value;  // when valid
};

const TextToIntCase kTextToIntCases[] = {
    // Decimal.
    {"7"sv, true, 7},
    {"2147483647"sv, true, kMax32},
    {"-2147483648"sv, true, kMin32},
    {"000000000002147483647"sv, true, kMax32},
    {"2147483648"sv, false, 0},
    {"-2147483649"sv, false, 0},
    {"21474836470"sv, false, 0},
    {"35851102000002"sv, false, 0},

    // Hexadecimal: any 32-bit pattern, read as signed.
    {"$7FFFFFFF"sv, true, kMax32},
    {"$80000000"sv, true, kMin32},
    {"-$80000000"sv, true, kMin32},
    {"$FFFFFFFF"sv, true, -1},
    {"-$FFFFFFFF"sv, true, 1},
    {"$0FFFFFFFF"sv, true, -1},
    {"$100000000"sv, false, 0},

    // Not integers.
    {"-"sv, false, 0},
    {"\0"sv, false, 0},
    {""sv, false, 0},
    {"x"sv, false, 0},
    {"12 "sv, false, 0},
};

TEST(TextToIntTest, ReturnsValueOrThrowsWithWholeText) {
    for (const TextToIntCase& c : kTextToIntCases) {
        SCOPED_TRACE(Visible(c.text));
        if (c.valid) {
            EXPECT_EQ(TextToInt(c.text), c.value);
            continue;
        }
        EXPECT_TRUE(RaisesConvertError([&] { TextToInt(c.text); }, NotAnInteger(c.text)));
    }
}

TEST(TextToIntTest, MessagesQuoteTheTextExactly) {
    const struct {
        std::string_view text;
        std::string_view message;
    } cases[] = {
        {""sv, "'' is not a valid integer value"sv},
        {"-"sv, "'-' is not a valid integer value"sv},
        {"\0"sv, "'\0' is not a valid integer value"sv},
        {"1 \0 2"sv, "'1 \0 2' is not a valid integer value"sv},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Visible(c.text));
        EXPECT_TRUE(RaisesConvertError([&] { TextToInt(c.text); }, c.message));
    }
}

TEST(IntToTextTest, DecimalText) {
    const struct {
        std::int64_t value;
        std::string_view text;
    } cases64[] = {
        {0, "0"sv},
        {-5, "-5"sv},
        {35851102000002, "35851102000002"sv},
        {kMin64, "-9223372036854775808"sv},
        {kMax64, "9223372036854775807"sv},
    };
    for (const auto& c : cases64) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IntToText(c.value), c.text);
    }
    const struct {
        std::int32_t value;
        std::string_view text;
    } cases32[] = {
        {0, "0"sv},
        {-5, "-5"sv},
        {kMin32, "-2147483648"sv},
        {kMax32, "2147483647"sv},
    };
    for (const auto& c : cases32) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IntToText(c.value), c.text);
    }
}

TEST(IntToTextTest, RoundTripsThroughTheScans) {
    std::int64_t values[] = {0, 1, -1, 9, 10, -10, kMin32, kMax32, std::int64_t{kMin32} - 1,
                             std::int64_t{kMax32} + 1, 99999999999999, kMin64, kMin64 + 1, kMax64};
    for (const std::int64_t v : values) {
        SCOPED_TRACE(v);
        const ScanResult r = ScanInteger(IntToText(v));
        EXPECT_EQ(r.value, v);
        EXPECT_EQ(r.errorPosition, 0);
        if (v < kMin32 || v > kMax32) continue;
        const auto v32 = static_cast<std::int32_t>(v);
        const ScanResult32 r32 = ScanInteger32(IntToText(v32));
        EXPECT_EQ(r32.value, v32);
        EXPECT_EQ(r32.errorPosition, 0);
    }
}

}  // namespace
}  // namespace kestrino
