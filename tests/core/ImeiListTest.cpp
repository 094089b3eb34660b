#include "core/ImeiList.h"

#include "core/Exception.h"
#include "core/NumberText.h"
#include "tests/common/KnownLists.h"
#include "tests/core/ReferenceList.h"

#include "tests/core/ExpectError.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace kestrino {
namespace {

constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();

// Keeps every line; checks that LinesDone(k) follows the k-th body line at once.
class RecordingSink final : public ProgressSink {
public:
    std::vector<std::string> lines;
    std::vector<std::int32_t> counts;

    void AddLine(std::string_view line) override { lines.emplace_back(line); }
    void LinesDone(std::int32_t count) override {
        EXPECT_EQ(static_cast<std::size_t>(count) + 1, lines.size()) << "LinesDone out of step";
        counts.push_back(count);
    }
};

// Lines, progress counts and the error message ("" for none) of one run.
struct Outcome {
    std::vector<std::string> lines;
    std::vector<std::int32_t> counts;
    std::string error;
};

template <typename Builder>
Outcome Run(Builder build, std::string_view text, std::int32_t quantity) {
    RecordingSink sink;
    Outcome out;
    try {
        build(text, quantity, sink);
    } catch (const EConvertError& e) {
        out.error = e.Message();
    }
    out.lines = std::move(sink.lines);
    out.counts = std::move(sink.counts);
    return out;
}

Outcome RunFast(std::string_view text, std::int32_t quantity) {
    return Run([](auto t, auto q, ProgressSink& s) { BuildImeiList(t, q, s); }, text, quantity);
}

Outcome RunReference(std::string_view text, std::int32_t quantity) {
    return Run([](auto t, auto q, ProgressSink& s) { reference::BuildImeiList(t, q, s); }, text, quantity);
}

std::vector<std::int32_t> OneTo(std::size_t n) {
    std::vector<std::int32_t> v;
    for (std::size_t k = 1; k <= n; ++k) v.push_back(static_cast<std::int32_t>(k));
    return v;
}

using known::kDash;
using known::NotAnInteger;
using known::ShortBody;

struct ListCase {
    std::string_view text;
    std::int32_t quantity;
    std::vector<std::string> bodyLines;
    std::string error;
};

const ListCase kListCases[] = {
    // The main window's initial body.
    {known::kFirstBody, known::kQuantity, {std::begin(known::kInitialImeis), std::end(known::kInitialImeis)}, ""},

    // No body lines.
    {"35851102000002", 0, {}, ""},
    {"35851102000002", -5, {}, ""},
    {"35851102000002", kMin32, {}, ""},

    // Bodies grow a digit; the check digit still covers the first 14.
    {"99999999999999", 2, {"999999999999994", "1000000000000009"}, ""},

    // Failures: the header stays, no partial line.
    {"9999999999999", 1, {}, ShortBody("9999999999999")},
    {"-1", 3, {}, kDash},
    {"abc", 0, {}, NotAnInteger("abc")},
    {"9223372036854775807", 2, {"92233720368547758075"}, kDash},

    // Typed leading zeros are kept.
    {"01326300876543", 3, {"013263008765439", "013263008765447", "013263008765454"}, ""},
    {"00000000000001", 1, {"000000000000018"}, ""},
    {"09999999999998", 3, {"099999999999985", "099999999999993", "100000000000009"}, ""},
    {"000000000000000000099", 3, {"0000000000000000000990", "0000000000000000001000", "0000000000000000001010"}, ""},
    {"0001", 1, {}, ShortBody("0001")},
    {"0", 1, {}, ShortBody("0")},
    // Only a text of digits alone is padded.
    {" 01326300876543", 1, {}, ShortBody("1326300876543")},
    {"+01326300876543", 1, {}, ShortBody("1326300876543")},
    {"$1F", 1, {}, ShortBody("31")},
};

// The table holds for the fast builder and for the reference it is measured against.
TEST(BuildImeiListTest, Lists) {
    const struct {
        const char* name;
        Outcome (*run)(std::string_view, std::int32_t);
    } builders[] = {{"fast", RunFast}, {"reference", RunReference}};
    for (const auto& builder : builders) {
        for (const ListCase& c : kListCases) {
            SCOPED_TRACE(std::string(builder.name) + ": " + std::string(c.text) + " x " + std::to_string(c.quantity));
            std::vector<std::string> lines = {"IMEI"};
            lines.insert(lines.end(), c.bodyLines.begin(), c.bodyLines.end());
            const Outcome out = builder.run(c.text, c.quantity);
            EXPECT_EQ(out.lines, lines);
            EXPECT_EQ(out.counts, OneTo(c.bodyLines.size()));
            EXPECT_EQ(out.error, c.error);
        }
    }
}

// The run keeps no state outside the call: a run nested in LinesDone, as a
// second Builder press would be, leaves the outer one intact.
TEST(BuildImeiListTest, NestedRunsAreIndependent) {
    struct NestingSink final : public ProgressSink {
        std::vector<std::string> lines;
        RecordingSink inner;
        void AddLine(std::string_view line) override { lines.emplace_back(line); }
        void LinesDone(std::int32_t count) override {
            if (count == 2) BuildImeiList("99999999999999", 2, inner);
        }
    } sink;
    BuildImeiList("35851102000002", 3, sink);
    EXPECT_EQ(sink.lines, (std::vector<std::string>{"IMEI", "358511020000026", "358511020000034", "358511020000042"}));
    EXPECT_EQ(sink.inner.lines, (std::vector<std::string>{"IMEI", "999999999999994", "1000000000000009"}));
}

// Where the fast builder takes its shortcuts: carries into each digit of the
// first 14, new digits, zero padding, the wrap past INT64_MAX, bad bodies.
TEST(BuildImeiListTest, MatchesReferenceAcrossCarries) {
    const struct {
        std::string_view text;
        std::int32_t quantity;
    } cases[] = {
        {"35851102000002", 2000},
        {"35851102099995", 20},
        {"35851199999990", 30},
        {"99999999999990", 30},
        {"358511020000990", 2000},
        {"999999999999990", 30},
        {"99999999999999990", 30},
        {"999999999999999990", 30},
        {"9223372036854775790", 30},
        {"9223372036854775807", 1},
        {"01326300876543", 1000},
        {"00999999999990", 30},
        {"09999999999990", 30},
        {"0000000000000000999999990", 30},
        {"0009999999999999999", 30},
        {"09223372036854775800", 10},
        {"0001", 5},
        {"9999999999990", 30},
        {"-20", 30},
        {"$FFFFFFFFFFFFFFF0", 30},
        {"x", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " x " + std::to_string(c.quantity));
        const Outcome fast = RunFast(c.text, c.quantity);
        const Outcome slow = RunReference(c.text, c.quantity);
        EXPECT_EQ(fast.lines, slow.lines);
        EXPECT_EQ(fast.counts, slow.counts);
        EXPECT_EQ(fast.error, slow.error);
    }
}

TEST(BuildImeiListTest, MatchesReferenceOnRandomRanges) {
    std::mt19937_64 random(20240611);
    for (int round = 0; round < 300; ++round) {
        // Bodies of 14 to 19 digits, often next to a run of nines.
        const std::uint64_t length = 14 + random() % 6;
        std::string text;
        for (std::uint64_t i = 0; i < length; ++i) {
            const bool nine = random() % 3 == 0;
            text += static_cast<char>(nine ? '9' : '0' + random() % 10);
        }
        if (text[0] == '0' && random() % 2 == 0) text[0] = '1';
        const auto quantity = static_cast<std::int32_t>(1 + random() % 300);
        SCOPED_TRACE(text + " x " + std::to_string(quantity));
        const Outcome fast = RunFast(text, quantity);
        const Outcome slow = RunReference(text, quantity);
        ASSERT_EQ(fast.lines, slow.lines);
        ASSERT_EQ(fast.counts, slow.counts);
        ASSERT_EQ(fast.error, slow.error);
    }
}

TEST(LastImei14Test, LastBody) {
    const struct {
        std::string_view text;
        std::int32_t quantity;
        std::string_view last;
    } cases[] = {
        {"35851102000002", 10, "35851102000011"},
        {"35851102000002", 1, "35851102000002"},
        {"35851102000002", 0, "35851102000001"},
        {"35851102000002", -5, "35851101999996"},
        {"9223372036854775807", 2, "-9223372036854775808"},
        {"-9223372036854775808", 0, "9223372036854775807"},
        {"0", kMax32, "2147483646"},
        {"0", kMin32, "-2147483649"},
        // Typed leading zeros are kept; a negative result is not padded.
        {"00000000000001", 10, "00000000000010"},
        {"01326300876543", 3, "01326300876545"},
        {"00000000000001", -1, "-1"},
        {"0001", 1, "0001"},
        {" 01326300876543", 1, "1326300876543"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " x " + std::to_string(c.quantity));
        EXPECT_EQ(LastImei14(c.text, c.quantity), c.last);
    }
}

// What the first body field holds after an edit, and that it is a fixed point.
TEST(RepairedFirstBodyTest, EmptyAndUnscannableTextsAreRewritten) {
    using namespace std::string_view_literals;
    const struct {
        std::string_view typed;
        std::string_view held;
    } cases[] = {
        // Accepted whole: stays as typed.
        {"35851102000002"sv, "35851102000002"sv},
        {"358511020000021"sv, "358511020000021"sv},
        {"00000000000001"sv, "00000000000001"sv},
        {"-1"sv, "-1"sv},
        {"+5"sv, "+5"sv},
        {" 12"sv, " 12"sv},
        {"x1F"sv, "x1F"sv},
        {"12\0xyz"sv, "12\0xyz"sv},
        // Empty: "0".
        {""sv, "0"sv},
        // Not accepted whole: the decimal text of the value scanned.
        {"358A"sv, "358"sv},
        {"A358"sv, "0"sv},
        {"abc"sv, "0"sv},
        {"-"sv, "0"sv},
        {"12 "sv, "12"sv},
        {"-12A"sv, "-12"sv},
        {"9999999999999999999"sv, "999999999999999999"sv},
        {"9223372036854775808"sv, "-9223372036854775808"sv},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.typed));
        const std::string held = RepairedFirstBody(c.typed);
        EXPECT_EQ(held, c.held);
        EXPECT_EQ(RepairedFirstBody(held), held) << "a repaired text needs no second repair";
        EXPECT_NO_THROW(TextToInt64(held));
    }
}

TEST(LastImei14Test, RejectsBadText) {
    EXPECT_TRUE(RaisesConvertError([] { LastImei14("12A", 1); }, NotAnInteger("12A")));
}

}  // namespace
}  // namespace kestrino
