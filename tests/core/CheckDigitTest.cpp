#include "core/CheckDigit.h"

#include "core/Exception.h"

#include "tests/core/ExpectError.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>

namespace kestrino {
namespace {

struct KnownAnswer {
    std::int64_t body;
    std::int32_t check;
};

void PrintTo(const KnownAnswer& row, std::ostream* os) { *os << row.body << " -> " << row.check; }

class Gen15Test : public ::testing::TestWithParam<KnownAnswer> {};

TEST_P(Gen15Test, KnownAnswer) {
    EXPECT_EQ(Gen15(GetParam().body), GetParam().check);
    EXPECT_EQ(CheckDigitOfText(std::to_string(GetParam().body)), GetParam().check);
}

const KnownAnswer kKnownAnswers[] = {
    // Published IMEIs.
    {49015420323751, 8},
    {35686800004141, 8},
    {26053179311383, 7},
    {35780502398494, 2},
    // Neighbours of the main window's initial body.
    {35851102000002, 6},
    {35851102000003, 4},
    {35851102000010, 9},
    {35851102000011, 7},
    {12345678901234, 7},
    // A sum that is a multiple of 10 gives 0, never 10.
    {35851102000000, 0},
    // Smallest and largest 14-digit bodies.
    {10000000000000, 9},
    {99999999999999, 4},
    // Only the first 14 digits count.
    {100000000000000, 9},
    {std::numeric_limits<std::int64_t>::max(), 5},
};

INSTANTIATE_TEST_SUITE_P(Bodies, Gen15Test, ::testing::ValuesIn(kKnownAnswers),
                         [](const auto& row) { return "Body" + std::to_string(row.param.body); });

std::string ShortBodyMessage(std::string_view text) {
    return std::string("'").append(text).append("' is not a valid IMEI body: it has fewer than 14 digits");
}

TEST(Gen15Test, RejectsNegativeAndShortBodies) {
    const struct {
        std::int64_t body;
        std::string message;
    } cases[] = {
        {9999999999999, ShortBodyMessage("9999999999999")},
        {0, ShortBodyMessage("0")},
        {-3585110200000, "'-' is not a valid integer value"},
        {-1, "'-' is not a valid integer value"},
        {std::numeric_limits<std::int64_t>::min(), "'-' is not a valid integer value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_TRUE(RaisesConvertError([&] { Gen15(c.body); }, c.message));
    }
}

// Zero-padded bodies keep their leading zeros through the check digit.
TEST(CheckDigitOfTextTest, PaddedBodies) {
    EXPECT_EQ(CheckDigitOfText("01326300876543"), 9);
    EXPECT_EQ(CheckDigitOfText("00000000000001"), 8);
    EXPECT_EQ(CheckDigitOfText("00000000000000000000"), 0);
    EXPECT_TRUE(RaisesConvertError([] { CheckDigitOfText("0001"); }, ShortBodyMessage("0001")));
}

}  // namespace
}  // namespace kestrino
