// list, last, --version and usage errors, run as a user runs them.

#include "core/Exception.h"
#include "core/ImeiList.h"
#include "tests/cli/CliRunner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kestrino::cli::test {
namespace {

// The window's list after a run with the initial values, saved: 176 bytes.
const std::string kInitialList =
    "IMEI\r\n358511020000026\r\n358511020000034\r\n358511020000042\r\n358511020000059\r\n358511020000067\r\n"
    "358511020000075\r\n358511020000083\r\n358511020000091\r\n358511020000109\r\n358511020000117\r\n";

std::string Error(const std::string& message) { return "kestrino-cli: " + message + std::string(kNl); }
std::string Line(const std::string& text) { return text + std::string(kNl); }

struct CommandCase {
    std::vector<std::string> args;
    std::string out;
    std::string err;
    int code;
};

std::ostream& operator<<(std::ostream& os, const CommandCase& c) {
    os << "kestrino-cli";
    for (const std::string& a : c.args) os << " '" << a << "'";
    return os;
}

const CommandCase kCommandCases[] = {
    // list: the window's bytes.
    {{"list", "35851102000002", "10"}, kInitialList, "", 0},
    {{"list", "35851102000002", "2", "--lf"}, "IMEI\n358511020000026\n358511020000034\n", "", 0},
    {{"list", "--lf", "35851102000002", "1"}, "IMEI\n358511020000026\n", "", 0},
    {{"list", "01326300876543", "3"}, "IMEI\r\n013263008765439\r\n013263008765447\r\n013263008765454\r\n", "", 0},
    {{"list", "00000000000099", "2"}, "IMEI\r\n000000000000992\r\n000000000001008\r\n", "", 0},
    {{"list", "99999999999999", "2"}, "IMEI\r\n999999999999994\r\n1000000000000009\r\n", "", 0},
    {{"list", "35851102000002", "0"}, "IMEI\r\n", "", 0},
    {{"list", "35851102000002", "-5"}, "IMEI\r\n", "", 0},
    {{"list", "35851102000002", "$2"}, "IMEI\r\n358511020000026\r\n358511020000034\r\n", "", 0},
    // list: a run that fails part-way keeps what it wrote and says so.
    {{"list", "9223372036854775807", "2"}, "IMEI\r\n92233720368547758075\r\n", Error("'-' is not a valid integer value."), 1},
    // list: bad arguments fail before anything is written.
    {{"list", "-1", "3"}, "", Error("'-' is not a valid integer value."), 1},
    {{"list", "9999999999999", "3"}, "", Error("'9999999999999' is not a valid IMEI body: it has fewer than 14 digits."), 1},
    {{"list", "3585110200000A", "3"}, "", Error("'3585110200000A' is not a valid integer value."), 1},
    {{"list", "", "3"}, "", Error("'' is not a valid integer value."), 1},
    {{"list", "35851102000002", "ten"}, "", Error("'ten' is not a valid integer value."), 1},
    {{"list", "35851102000002", "2147483648"}, "", Error("'2147483648' is not a valid integer value."), 1},
    // last: the window's Last IMEI14 field.
    {{"last", "35851102000002", "10"}, Line("35851102000011"), "", 0},
    {{"last", "35851102000002", "1"}, Line("35851102000002"), "", 0},
    {{"last", "35851102000002", "0"}, Line("35851102000001"), "", 0},
    {{"last", "35851102000002", "-5"}, Line("35851101999996"), "", 0},
    {{"last", "9223372036854775807", "2"}, Line("-9223372036854775808"), "", 0},
    {{"last", "01326300876543", "10"}, Line("01326300876552"), "", 0},
    {{"last", "1", "1"}, Line("1"), "", 0},
    {{"last", "12A", "1"}, "", Error("'12A' is not a valid integer value."), 1},
    // The version.
    {{"--version"}, Line("kestrino-cli 1.0.0.0"), "", 0},
};

class CommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandTest, PrintsTheseBytesAndExitsWithThisCode) {
    const CommandCase& c = GetParam();
    const Outcome got = RunCli(c.args);
    EXPECT_EQ(got.out, c.out);
    EXPECT_EQ(got.err, c.err);
    EXPECT_EQ(got.code, c.code);
}

INSTANTIATE_TEST_SUITE_P(Cli, CommandTest, ::testing::ValuesIn(kCommandCases));

// Usage errors: the reason, then the usage of the command, on standard error; exit code 2.
struct UsageCase {
    std::vector<std::string> args;
    std::string reason;
    std::string usage;
};

std::ostream& operator<<(std::ostream& os, const UsageCase& c) { return os << c.reason; }

const UsageCase kUsageCases[] = {
    {{}, "A subcommand is required", "Usage: kestrino-cli [OPTIONS] SUBCOMMAND"},
    {{"frob"}, "A subcommand is required", "Usage: kestrino-cli [OPTIONS] SUBCOMMAND"},
    {{"list", "35851102000002"}, "QUANTITY is required", "Usage: kestrino-cli list [OPTIONS] FIRST QUANTITY"},
    {{"list", "35851102000002", "2", "3"}, "The following argument was not expected: 3", "Usage: kestrino-cli list"},
    {{"list", "--bogus", "35851102000002", "2"}, "The following argument was not expected: --bogus", "Usage: kestrino-cli list"},
    {{"list", "35851102000002", "2", "-o"}, "--output: 1 required FILE missing", "Usage: kestrino-cli list"},
    {{"last"}, "FIRST is required", "Usage: kestrino-cli last [OPTIONS] FIRST QUANTITY"},
    {{"check", "--lf"}, "The following argument was not expected: --lf", "Usage: kestrino-cli check"},
};

class UsageTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(UsageTest, PrintsTheReasonAndTheUsageAndExitsWithTwo) {
    const UsageCase& c = GetParam();
    const Outcome got = RunCli(c.args);
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.err.rfind(Error(c.reason), 0), 0u) << got.err;
    EXPECT_NE(got.err.find(c.usage), std::string::npos) << got.err;
    EXPECT_EQ(got.code, 2);
}

INSTANTIATE_TEST_SUITE_P(Cli, UsageTest, ::testing::ValuesIn(kUsageCases));

TEST(CliHelp, EachCommandHasItsHelpOnStandardOutput) {
    for (const std::string command : {"list", "last", "check"}) {
        const Outcome got = RunCli({command, "--help"});
        EXPECT_NE(got.out.find("Usage: kestrino-cli " + command), std::string::npos) << got.out;
        EXPECT_EQ(got.err, "");
        EXPECT_EQ(got.code, 0);
    }
    const Outcome top = RunCli({"--help"});
    EXPECT_NE(top.out.find("Subcommands:"), std::string::npos) << top.out;
    EXPECT_EQ(top.code, 0);
}

// The window's list is what BuildImeiList hands its sink, each line followed by CR LF.
class WindowTextSink final : public ProgressSink {
public:
    std::string text;
    void AddLine(std::string_view line) override {
        text += line;
        text += "\r\n";
    }
    void LinesDone(std::int32_t) override {}
};

// Long lists are made in stretches of 65,536 lines; the bytes and the error
// must be those of one run, across stretches too.
TEST(CliList, EqualsTheWindowsListByteForByte) {
    const struct {
        const char* first;
        std::int32_t quantity;
    } inputs[] = {
        {"35851102000002", 2000},
        {"49015420323751", 1},
        {"01326300876543", 150000},          // zero-padded bodies in every stretch
        {"99999999990000", 70000},           // bodies gain a digit in the first stretch
        {"9223372036854710272", 65537},      // the 65,537th body wraps: a stretch that fails at once
        {"9223372036854740000", 100000},     // wraps inside the first stretch
    };
    for (const auto& input : inputs) {
        WindowTextSink window;
        std::string error;
        try {
            BuildImeiList(input.first, input.quantity, window);
        } catch (const Exception& e) {
            error = "kestrino-cli: " + e.Message() + "." + std::string(kNl);
        }
        const Outcome got = RunCli({"list", input.first, std::to_string(input.quantity)});
        EXPECT_EQ(got.code, error.empty() ? 0 : 1) << input.first;
        EXPECT_EQ(got.err, error) << input.first;
        EXPECT_TRUE(got.out == window.text) << input.first << " " << input.quantity << ": " << got.out.size() << " bytes, not "
                                            << window.text.size();
    }
}

}  // namespace
}  // namespace kestrino::cli::test
