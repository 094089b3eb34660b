#include "core/Exception.h"

#include <gtest/gtest.h>

#include <string_view>

namespace kestrino {
namespace {

using namespace std::string_view_literals;

TEST(WithFinalPeriodTest, AddsAPeriodAfterCharactersAboveThePeriod) {
    const struct {
        std::string_view message;
        std::string_view shown;
    } cases[] = {
        {"Stream write error"sv, "Stream write error."sv},
        {"'-' is not a valid integer value"sv, "'-' is not a valid integer value."sv},
        {"Cannot create file \"x\". Access denied"sv, "Cannot create file \"x\". Access denied."sv},
        // A period, or any character at or below it, ends the message as it is.
        {"Done."sv, "Done."sv},
        {"kept in \"x\""sv, "kept in \"x\""sv},
        {"a-"sv, "a-"sv},
        {"x\xB5"sv, "x\xB5."sv},
        {""sv, ""sv},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.message));
        EXPECT_EQ(WithFinalPeriod(c.message), c.shown);
    }
}

TEST(ReasonTextTest, DropsTrailingBlanksLineBreaksAndPeriods) {
    EXPECT_EQ(ReasonText("Access is denied.\r\n"), "Access is denied");
    EXPECT_EQ(ReasonText("No such file or directory"), "No such file or directory");
    EXPECT_EQ(ReasonText("e.g. this . \r\n. "), "e.g. this");
    EXPECT_EQ(ReasonText(" .\r\n"), "");
}

}  // namespace
}  // namespace kestrino
