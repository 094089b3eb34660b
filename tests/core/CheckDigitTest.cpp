#include "core/CheckDigit.h"

#include "core/Exception.h"

#include "tests/common/KnownLists.h"
#include "tests/core/ExpectError.h"
#include "tests/core/ReferenceList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>
#include <tuple>

namespace kestrino {
namespace {

struct KnownAnswer {
    std::int64_t body;
    std::int32_t check;
};

void PrintTo(const KnownAnswer& row, std::ostream* os) { *os << row.body << " -> " << row.check; }

// Every way the program computes a check digit, and the reference the fast
// builder is measured against: each must give the table's answers.
struct Variant {
    const char* name;
    std::int32_t (*checkDigit)(std::int64_t body);
};

void PrintTo(const Variant& variant, std::ostream* os) { *os << variant.name; }

const Variant kVariants[] = {
    {"Gen15", [](std::int64_t body) { return Gen15(body); }},
    {"CheckDigitOfText", [](std::int64_t body) { return CheckDigitOfText(std::to_string(body)); }},
    {"Reference", [](std::int64_t body) { return reference::CheckDigit(std::to_string(body)); }},
};

class CheckDigitTest : public ::testing::TestWithParam<std::tuple<Variant, KnownAnswer>> {};

TEST_P(CheckDigitTest, KnownAnswer) {
    const auto& [variant, row] = GetParam();
    EXPECT_EQ(variant.checkDigit(row.body), row.check);
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

std::string RowName(const ::testing::TestParamInfo<CheckDigitTest::ParamType>& row) {
    return std::string(std::get<0>(row.param).name) + "_Body" + std::to_string(std::get<1>(row.param).body);
}

INSTANTIATE_TEST_SUITE_P(Bodies, CheckDigitTest,
                         ::testing::Combine(::testing::ValuesIn(kVariants), ::testing::ValuesIn(kKnownAnswers)), RowName);

using known::kDash;
using known::ShortBody;

TEST(Gen15Test, RejectsNegativeAndShortBodies) {
    const struct {
        std::int64_t body;
        std::string message;
    } cases[] = {
        {9999999999999, ShortBody("9999999999999")},
        {0, ShortBody("0")},
        {-3585110200000, kDash},
        {-1, kDash},
        {std::numeric_limits<std::int64_t>::min(), kDash},
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
    EXPECT_TRUE(RaisesConvertError([] { CheckDigitOfText("0001"); }, ShortBody("0001")));
}

}  // namespace
}  // namespace kestrino
