// check: small lists with planted faults and the exact reports.

#include "tests/cli/CliRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace kestrino::cli::test {
namespace {

struct CheckCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;  // created in the working folder
    std::vector<std::string> args;                           // after "check"
    std::string input;                                       // standard input
    std::vector<std::string> reports;                        // lines on standard output
    std::string summary;                                     // last line on standard error
    int code;
};

std::ostream& operator<<(std::ostream& os, const CheckCase& c) { return os << c.name; }

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + std::string(kNl);
    return text;
}

const CheckCase kCheckCases[] = {
    // Clean lists.
    {"a saved list, CR LF and header", {}, {}, "IMEI\r\n358511020000026\r\n358511020000034\r\n", {}, "2 IMEIs, 0 problems", 0},
    {"LF, no header, no final line end", {}, {}, "358511020000026\n358511020000034", {}, "2 IMEIs, 0 problems", 0},
    {"blank lines are skipped", {}, {}, "\n358511020000026\r\n\r\n  \n358511020000034\n\n", {}, "2 IMEIs, 0 problems", 0},
    {"an empty list", {}, {}, "", {}, "0 IMEIs, 0 problems", 0},
    {"a header alone", {}, {}, "IMEI\r\n", {}, "0 IMEIs, 0 problems", 0},
    // Planted faults, one kind each.
    {"a wrong check digit", {}, {}, "IMEI\n358511020000027\n",
     {"<stdin>:2: 358511020000027 has a wrong check digit: it should end in 6"}, "1 IMEI, 1 problem", 1},
    {"14 and 16 digits, a letter", {}, {}, "35851102000002\r\n3585110200000260\r\n35851102000A026\r\n",
     {"<stdin>:1: '35851102000002' is not 15 decimal digits", "<stdin>:2: '3585110200000260' is not 15 decimal digits",
      "<stdin>:3: '35851102000A026' is not 15 decimal digits"},
     "3 IMEIs, 3 problems", 1},
    {"a header after the first line", {}, {}, "358511020000026\nIMEI\n",
     {"<stdin>:2: 'IMEI' is not 15 decimal digits"}, "2 IMEIs, 1 problem", 1},
    {"blanks around an IMEI, a tab, a control character", {}, {}, " 358511020000026\n358511020000034\t\n3585110200\x01" "00042\n",
     {"<stdin>:1: ' 358511020000026' is not 15 decimal digits", "<stdin>:2: '358511020000034?' is not 15 decimal digits",
      "<stdin>:3: '3585110200?00042' is not 15 decimal digits"},
     "3 IMEIs, 3 problems", 1},
    {"a long line is quoted in part", {}, {}, std::string(100, '7') + "\n",
     {"<stdin>:1: '" + std::string(40, '7') + "...' is not 15 decimal digits"}, "1 IMEI, 1 problem", 1},
    {"a fault on a last line without a line end", {}, {}, "358511020000026\n358511020000035",
     {"<stdin>:2: 358511020000035 has a wrong check digit: it should end in 4"}, "2 IMEIs, 1 problem", 1},
    {"a duplicate within a list", {}, {}, "IMEI\n358511020000026\n358511020000034\n358511020000026\n358511020000026\n",
     {"<stdin>:4: 358511020000026 already appeared at <stdin>:2", "<stdin>:5: 358511020000026 already appeared at <stdin>:2"},
     "4 IMEIs, 2 problems", 1},
    {"a duplicate with a wrong check digit: both reported, in line order", {}, {}, "358511020000027\n358511020000026\n358511020000027\n",
     {"<stdin>:1: 358511020000027 has a wrong check digit: it should end in 6",
      "<stdin>:3: 358511020000027 has a wrong check digit: it should end in 6",
      "<stdin>:3: 358511020000027 already appeared at <stdin>:1"},
     "3 IMEIs, 3 problems", 1},
    {"a repeat of an IMEI from the middle of a clean run, after a blank line", {}, {},
     "000000000000992\n000000000001008\n000000000001016\n\n000000000001008\n",
     {"<stdin>:5: 000000000001008 already appeared at <stdin>:2"}, "4 IMEIs, 1 problem", 1},
    {"a list in two halves, the second repeating the first", {}, {},
     "358511020000026\n358511020000034\n358511020000042\n358511020000034\n358511020000042\n358511020000059\n",
     {"<stdin>:4: 358511020000034 already appeared at <stdin>:2", "<stdin>:5: 358511020000042 already appeared at <stdin>:3"},
     "6 IMEIs, 2 problems", 1},
    // Several lists: duplicates across them, reports in the order given.
    {"a duplicate across two files",
     {{"a.txt", "IMEI\r\n358511020000026\r\n358511020000034\r\n"}, {"b.txt", "IMEI\r\n358511020000042\r\n358511020000034\r\n"}},
     {"a.txt", "b.txt"}, "",
     {"b.txt:3: 358511020000034 already appeared at a.txt:3"}, "4 IMEIs, 1 problem", 1},
    {"faults merged in file order",
     {{"a.txt", "358511020000042\n358511020000026\nX\n"}, {"b.txt", "358511020000026\n358511020000043\n358511020000042\n"}},
     {"b.txt", "a.txt"}, "",
     {"b.txt:2: 358511020000043 has a wrong check digit: it should end in 2", "a.txt:1: 358511020000042 already appeared at b.txt:3",
      "a.txt:2: 358511020000026 already appeared at b.txt:1", "a.txt:3: 'X' is not 15 decimal digits"},
     "6 IMEIs, 4 problems", 1},
    {"standard input among files as -", {{"a.txt", "358511020000026\n"}}, {"a.txt", "-"}, "358511020000026\n",
     {"<stdin>:1: 358511020000026 already appeared at a.txt:1"}, "2 IMEIs, 1 problem", 1},
    {"an unreadable list: exit code 2, the others still checked", {{"a.txt", "358511020000026\n358511020000026\n"}},
     {"missing.txt", "a.txt"}, "",
     {"a.txt:2: 358511020000026 already appeared at a.txt:1"}, "2 IMEIs, 1 problem", 2},
};

class CheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckTest, ReportsTheseProblemsInFileOrder) {
    const CheckCase& c = GetParam();
    ScratchFolder folder;
    for (const auto& [name, bytes] : c.files) WriteBytes(folder.path() / name, bytes);
    std::vector<std::string> args{"check"};
    args.insert(args.end(), c.args.begin(), c.args.end());

    const Outcome got = RunCli(args, c.input, folder.path());
    EXPECT_EQ(got.out, Lines(c.reports));
    std::string expectedErr = c.summary + std::string(kNl);
    if (c.code == 2) {
        const std::string reason = "kestrino-cli: Cannot read file \"missing.txt\". No such file or directory.";
        expectedErr = reason + std::string(kNl) + expectedErr;
    }
    EXPECT_EQ(got.err, expectedErr);
    EXPECT_EQ(got.code, c.code);
}

INSTANTIATE_TEST_SUITE_P(Cli, CheckTest, ::testing::ValuesIn(kCheckCases));

TEST(CliCheck, ALongListWithOneDuplicateAndOneFault) {
    ScratchFolder folder;
    // 200,000 lines from the program itself, with two faults planted far apart.
    const Outcome list = RunCli({"list", "35851102000002", "200000", "--lf"});
    ASSERT_EQ(list.code, 0);
    std::string text = list.out;
    text += "358511020000026\n";                            // a repeat of line 2
    text.replace(text.find("358511020100008"), 15, "358511020100009");  // a wrong digit
    WriteBytes(folder.path() / "long.txt", text);

    const Outcome got = RunCli({"check", "long.txt"}, "", folder.path());
    EXPECT_EQ(got.out, Lines({"long.txt:10000: 358511020100009 has a wrong check digit: it should end in 8",
                              "long.txt:200002: 358511020000026 already appeared at long.txt:2"}));
    EXPECT_EQ(got.err, "200001 IMEIs, 2 problems" + std::string(kNl));
    EXPECT_EQ(got.code, 1);
}

TEST(CliCheck, AListInReverseOrderWithRepeats) {
    ScratchFolder folder;
    // Every IMEI an entry of its own, sorted by value only at the end.
    const Outcome list = RunCli({"list", "35851102000002", "5000", "--lf"});
    ASSERT_EQ(list.code, 0);
    std::vector<std::string> lines;
    for (std::size_t at = 5; at < list.out.size(); at += 16) lines.push_back(list.out.substr(at, 15));
    std::string text;
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) text += *line + "\r\n";
    text += lines[0] + "\r\n" + lines[4999] + "\r\n" + lines[0] + "\r\n";
    WriteBytes(folder.path() / "reversed.txt", text);

    const Outcome got = RunCli({"check", "reversed.txt"}, "", folder.path());
    EXPECT_EQ(got.out, Lines({"reversed.txt:5001: " + lines[0] + " already appeared at reversed.txt:5000",
                              "reversed.txt:5002: " + lines[4999] + " already appeared at reversed.txt:1",
                              "reversed.txt:5003: " + lines[0] + " already appeared at reversed.txt:5000"}));
    EXPECT_EQ(got.err, "5003 IMEIs, 3 problems" + std::string(kNl));
    EXPECT_EQ(got.code, 1);
}

}  // namespace
}  // namespace kestrino::cli::test
