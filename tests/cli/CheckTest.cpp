// check: small lists with planted faults and the exact reports.

#include "tests/cli/CheckSummary.h"
#include "tests/cli/CliRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
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
    std::vector<std::string> notes = {};  // lines on standard error before the summary
    std::vector<std::string> json = {};   // with --json: the objects on standard output, summary last
};

std::ostream& operator<<(std::ostream& os, const CheckCase& c) { return os << c.name; }

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + std::string(kNl);
    return text;
}

std::string Summary(long long rows, long long imeis, long long errors, long long warnings = 0) {
    return CheckSummary(rows, imeis, errors, warnings);
}

const std::string kUnreadable = "kestrino-cli: Cannot read file \"missing.txt\". No such file or directory.";
const std::string kNoEncoding =
    "kestrino-cli: Cannot read file \"latin1.csv\". It is neither UTF-8 nor UTF-16 with a byte-order mark (0xE9 at byte 30)";

// UTF-16 of UTF-8 text, with its byte-order mark.
std::string Utf16(std::string_view text, bool little) {
    std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
    const auto unit = [&](std::uint32_t u) {
        const char high = static_cast<char>(u >> 8);
        const char low = static_cast<char>(u & 0xFF);
        bytes += little ? low : high;
        bytes += little ? high : low;
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        std::uint32_t code = length == 1 ? c : c & (0x7Fu >> length);
        for (std::size_t k = 1; k < length; ++k) code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
        if (code >= 0x10000) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
        i += length;
    }
    return bytes;
}

const CheckCase kCheckCases[] = {
    // Clean lists.
    {"a saved list, CR LF and header", {}, {}, "IMEI\r\n358511020000026\r\n358511020000034\r\n", {}, Summary(2, 2, 0), 0},
    {"LF, no header, no final line end", {}, {}, "358511020000026\n358511020000034", {}, Summary(2, 2, 0), 0},
    {"CR alone ends lines too", {}, {}, "IMEI\r358511020000026\r358511020000034\r", {}, Summary(2, 2, 0), 0},
    {"blank lines are skipped", {}, {}, "\n358511020000026\r\n\r\n  \n358511020000034\n\n", {}, Summary(2, 2, 0), 0},
    {"an empty list", {}, {}, "", {}, Summary(0, 0, 0), 0},
    {"a header alone", {}, {}, "IMEI\r\n", {}, Summary(0, 0, 0), 0},
    // Planted faults in a plain list, one kind each.
    {"a wrong check digit", {}, {}, "IMEI\n358511020000027\n",
     {"<stdin>:2: 358511020000027 has a wrong check digit: it should end in 6"}, Summary(1, 0, 1), 1, {},
     {R"({"file":"<stdin>","line":2,"column":null,"class":"check-digit","severity":"error","text":"358511020000027",)"
      R"("message":"358511020000027 has a wrong check digit: it should end in 6","imei":"358511020000026"})",
      R"({"summary":{"files":1,"rows":1,"imeis":0,"errors":1,"warnings":0,"missing":0}})"}},
    {"14 and 16 digits, a letter", {}, {}, "35851102000002\r\n3585110200000260\r\n35851102000A026\r\n",
     {"<stdin>:1: 35851102000002 has 14 digits: with its check digit it is 358511020000026; or it is 035851102000002, an IMEI "
      "whose leading 0 a spreadsheet dropped",
      "<stdin>:2: 3585110200000260 has 16 digits: it is an IMEISV, of the IMEI 358511020000026",
      "<stdin>:3: '35851102000A026' is not an IMEI"},
     Summary(3, 0, 3), 1},
    {"a header after the first line", {}, {}, "358511020000026\nIMEI\n", {"<stdin>:2: 'IMEI' is not an IMEI"}, Summary(2, 1, 1), 1},
    {"blanks around an IMEI, a tab, a control character", {}, {}, " 358511020000026\n358511020000034\t\n3585110200\x01" "00042\n",
     {"<stdin>:1: ' 358511020000026' holds the IMEI 358511020000026 among other characters",
      "<stdin>:2: '358511020000034\\t' holds the IMEI 358511020000034 among other characters",
      "<stdin>:3: '3585110200\\x0100042' is not an IMEI"},
     Summary(3, 0, 3), 1},
    {"a long line is quoted in part", {}, {}, std::string(100, '7') + "\n",
     {"<stdin>:1: '" + std::string(40, '7') + "...' is not an IMEI"}, Summary(1, 0, 1), 1},
    {"a quotation is cut between characters, not inside one", {}, {}, std::string(39, 'x') + "\xC3\xA9\xC3\xA9\n",
     {"<stdin>:1: '" + std::string(39, 'x') + "\xC3\xA9...' is not an IMEI"}, Summary(1, 0, 1), 1},
    {"invisible characters are shown as escapes", {}, {}, "IMEI\n35851102\xEF\xBB\xBF" "0000026\nA\xE2\x80\x8B\n",
     {"<stdin>:2: '35851102\\uFEFF0000026' is not an IMEI",
      "<stdin>:3: 'A\\u200B' is not an IMEI"},
     Summary(2, 0, 2), 1},
    {"a fault on a last line without a line end", {}, {}, "358511020000026\n358511020000035",
     {"<stdin>:2: 358511020000035 has a wrong check digit: it should end in 4"}, Summary(2, 1, 1), 1},
    // Repeats.
    {"a duplicate within a list", {}, {}, "IMEI\n358511020000026\n358511020000034\n358511020000026\n358511020000026\n",
     {"<stdin>:4: 358511020000026 already appeared at <stdin>:2", "<stdin>:5: 358511020000026 already appeared at <stdin>:2"},
     Summary(4, 4, 2), 1},
    {"a duplicate with a wrong check digit: both reported, in line order", {}, {}, "358511020000027\n358511020000026\n358511020000027\n",
     {"<stdin>:1: 358511020000027 has a wrong check digit: it should end in 6",
      "<stdin>:3: 358511020000027 has a wrong check digit: it should end in 6",
      "<stdin>:3: 358511020000027 already appeared at <stdin>:1"},
     Summary(3, 1, 3), 1},
    {"a repeat of an IMEI from the middle of a clean run, after a blank line", {}, {},
     "000000000000992\n000000000001008\n000000000001016\n\n000000000001008\n",
     {"<stdin>:5: 000000000001008 already appeared at <stdin>:2"}, Summary(4, 4, 1), 1},
    {"a list in two halves, the second repeating the first", {}, {},
     "358511020000026\n358511020000034\n358511020000042\n358511020000034\n358511020000042\n358511020000059\n",
     {"<stdin>:4: 358511020000034 already appeared at <stdin>:2", "<stdin>:5: 358511020000042 already appeared at <stdin>:3"},
     Summary(6, 6, 2), 1},
    {"two columns, each a run, the second running into the first", {{"pairs.csv",
      "IMEI1,IMEI2\n358511020000026,358511020000042\n358511020000034,358511020000059\n358511020000042,358511020000067\n"
      "358511020000059,358511020000075\n"}},
     {"pairs.csv"}, "",
     {"pairs.csv:4: IMEI1: 358511020000042 already appeared at pairs.csv:2 (IMEI2)",
      "pairs.csv:5: IMEI1: 358511020000059 already appeared at pairs.csv:3 (IMEI2)"},
     Summary(4, 8, 2), 1},
    // Several lists: duplicates across them, reports in the order given.
    {"a duplicate across two files",
     {{"a.txt", "IMEI\r\n358511020000026\r\n358511020000034\r\n"}, {"b.txt", "IMEI\r\n358511020000042\r\n358511020000034\r\n"}},
     {"a.txt", "b.txt"}, "",
     {"b.txt:3: 358511020000034 already appeared at a.txt:3"}, Summary(4, 4, 1), 1},
    {"a run does not go on into the next file",
     {{"a.txt", "358511020000026\n358511020000034"}, {"b.txt", "358511020000042\n358511020000034\n"}},
     {"a.txt", "b.txt"}, "",
     {"b.txt:2: 358511020000034 already appeared at a.txt:2"}, Summary(4, 4, 1), 1},
    {"faults merged in file order",
     {{"a.txt", "358511020000042\n358511020000026\nX\n"}, {"b.txt", "358511020000026\n358511020000043\n358511020000042\n"}},
     {"b.txt", "a.txt"}, "",
     {"b.txt:2: 358511020000043 has a wrong check digit: it should end in 2", "a.txt:1: 358511020000042 already appeared at b.txt:3",
      "a.txt:2: 358511020000026 already appeared at b.txt:1", "a.txt:3: 'X' is not an IMEI"},
     Summary(6, 4, 4), 1},
    {"standard input among files as -", {{"a.txt", "358511020000026\n"}}, {"a.txt", "-"}, "358511020000026\n",
     {"<stdin>:1: 358511020000026 already appeared at a.txt:1"}, Summary(2, 2, 1), 1},
    {"a file named twice is read once", {{"a.txt", "358511020000026\n"}}, {"a.txt", "./a.txt"}, "", {}, Summary(1, 1, 0), 0,
     {"kestrino-cli: warning: ./a.txt is named twice: it is read once."}},
    {"an unreadable list: exit code 2, the others still checked", {{"a.txt", "358511020000026\n358511020000026\n"}},
     {"missing.txt", "a.txt"}, "",
     {"a.txt:2: 358511020000026 already appeared at a.txt:1"}, Summary(2, 2, 1), 2, {kUnreadable}},
    // Field exports, one of each shape.
    {"CSV UTF-8: a byte-order mark before the header", {{"bom.csv", "\xEF\xBB\xBFIMEI\r\n358511020000026\r\n358511020000027\r\n"}},
     {"bom.csv"}, "", {"bom.csv:3: 358511020000027 has a wrong check digit: it should end in 6"}, Summary(2, 1, 1), 1},
    {"Unicode Text: UTF-16 little-endian, tab-delimited",
     {{"unicode.txt", Utf16("IMEI\tName\r\n358511020000026\tA\r\n35851102000002\tB\r\n", true)}}, {"unicode.txt"}, "",
     {"unicode.txt:3: IMEI: 35851102000002 has 14 digits: with its check digit it is 358511020000026; or it is "
      "035851102000002, an IMEI whose leading 0 a spreadsheet dropped"},
     Summary(2, 1, 1), 1, {},
     {R"({"file":"unicode.txt","line":3,"column":"IMEI","class":"short","severity":"error","text":"35851102000002",)"
      R"("message":"35851102000002 has 14 digits: with its check digit it is 358511020000026; or it is 035851102000002, )"
      R"(an IMEI whose leading 0 a spreadsheet dropped","imei":"358511020000026"})",
      R"({"summary":{"files":1,"rows":2,"imeis":1,"errors":1,"warnings":0,"missing":0}})"}},
    {"UTF-16 big-endian", {{"be.txt", Utf16("358511020000026\r\n358511020000034\r\n", false)}}, {"be.txt"}, "", {},
     Summary(2, 2, 0), 0},
    {"a device list: IMEI1, IMEI2, a serial number, commas",
     {{"devices.csv", "IMEI1,IMEI2,serial number\r\n358511020000026,358511020000034,SN1\r\n358511020000042,358511020000027,SN2\r\n"
                      "358511020000059,358511020000026,SN3\r\n"}},
     {"devices.csv"}, "",
     {"devices.csv:3: IMEI2: 358511020000027 has a wrong check digit: it should end in 6",
      "devices.csv:4: IMEI2: 358511020000026 already appeared at devices.csv:2 (IMEI1)"},
     Summary(3, 5, 2), 1, {},
     {R"({"file":"devices.csv","line":3,"column":"IMEI2","class":"check-digit","severity":"error","text":"358511020000027",)"
      R"("message":"358511020000027 has a wrong check digit: it should end in 6","imei":"358511020000026"})",
      R"({"file":"devices.csv","line":4,"column":"IMEI2","class":"repeat","severity":"error","text":"358511020000026",)"
      R"j("message":"358511020000026 already appeared at devices.csv:2 (IMEI1)",)j"
      R"("first":{"file":"devices.csv","line":2,"column":"IMEI1"}})",
      R"({"summary":{"files":1,"rows":3,"imeis":5,"errors":2,"warnings":0,"missing":0}})"}},
    {"semicolons, a lower-case header, a scientific cell", {{"eu.csv", "imei;name\n3,58511E+14;A\n358511020000026;B\n"}},
     {"eu.csv"}, "",
     {"eu.csv:2: imei: '3,58511E+14' is a number in scientific notation: a spreadsheet rounded this IMEI and its digits are lost"},
     Summary(2, 1, 1), 1},
    {"tabs, quoted cells holding delimiters, quotes and line ends",
     {{"tab.txt", "Imei_2\tNote\n\"358511020000026\"\t\"a \"\"b\"\"\tc\"\n\"35851102\n0000034\"\tx\n358511020000042\t\"two\nlines\"\n"
                  "358511020000059\ty\n"}},
     {"tab.txt"}, "", {"tab.txt:3: Imei_2: '35851102\\n0000034' is not an IMEI"}, Summary(4, 3, 1), 1},
    {"a dropped leading zero", {{"zeros.csv", "IMEI\n13263008765439\n"}}, {"zeros.csv"}, "",
     {"zeros.csv:2: 13263008765439 has 14 digits: with its check digit it is 132630087654393; or it is 013263008765439, an "
      "IMEI whose leading 0 a spreadsheet dropped"},
     Summary(1, 0, 1), 1},
    {"IMEISV columns beside their IMEIs",
     {{"sv.csv", "IMEI,IMEISV,IMEI 2,IMEISV 2\n358511020000026,3585110200000201,358511020000034,3585110200000399\n"
                 "358511020000042,3585110200000501,358511020000059,35851102000005\n"}},
     {"sv.csv"}, "",
     {"sv.csv:2: IMEISV 2: 3585110200000399 has the software version 99, which is reserved",
      "sv.csv:3: IMEISV: 3585110200000501 is not an IMEISV of the row's IMEI 358511020000042: their first 14 digits differ",
      "sv.csv:3: IMEISV 2: '35851102000005' is not an IMEISV: it is not 16 digits"},
     Summary(2, 4, 3), 1},
    {"a spreadsheet's =\"...\" and an empty cell", {{"excel.csv", "IMEI1,IMEI2\n=\"358511020000026\",358511020000034\n358511020000042,\n"}},
     {"excel.csv"}, "",
     {"excel.csv:2: IMEI1: '=\"358511020000026\"' holds the IMEI 358511020000026 among other characters",
      "excel.csv:3: IMEI2: the cell is empty: it holds no IMEI"},
     Summary(2, 2, 2), 1, {},
     {R"({"file":"excel.csv","line":2,"column":"IMEI1","class":"format","severity":"error","text":"=\"358511020000026\"",)"
      R"("message":"'=\"358511020000026\"' holds the IMEI 358511020000026 among other characters","imei":"358511020000026"})",
      R"({"file":"excel.csv","line":3,"column":"IMEI2","class":"not-imei","severity":"error","text":"",)"
      R"("message":"the cell is empty: it holds no IMEI"})",
      R"({"summary":{"files":1,"rows":2,"imeis":2,"errors":2,"warnings":0,"missing":0}})"}},
    {"a file in no encoding is reported once, by name", {{"latin1.csv", "IMEI;Name\n358511020000026;Jos\xE9\n358511020000027;x\n"}},
     {"latin1.csv"}, "", {}, Summary(0, 0, 0), 2, {kNoEncoding}},
    {"UTF-16 without a byte-order mark is no known encoding", {{"nomark.txt", Utf16("358511020000026\r\n", true).substr(2)}},
     {"nomark.txt"}, "", {}, Summary(0, 0, 0), 2,
     {"kestrino-cli: Cannot read file \"nomark.txt\". It is neither UTF-8 nor UTF-16 with a byte-order mark (0x00 at byte 2)"}},
    {"no header: every column is checked, named by its number", {{"nohead.csv", "358511020000026,358511020000034\n358511020000042,x\n"}},
     {"nohead.csv"}, "", {"nohead.csv:2: 2: 'x' is not an IMEI"}, Summary(2, 3, 1), 1, {},
     {R"({"file":"nohead.csv","line":2,"column":2,"class":"not-imei","severity":"error","text":"x","message":"'x' is not an IMEI"})",
      R"({"summary":{"files":1,"rows":2,"imeis":3,"errors":1,"warnings":0,"missing":0}})"}},
    // Choosing columns and the delimiter.
    {"--column by name, in any case, and by number", {{"cols.csv", "IMEI,Backup IMEI,Serial\n358511020000026,bad,358511020000034\n"}},
     {"cols.csv", "--column", "imei", "--column", "3"}, "", {}, Summary(1, 2, 0), 0},
    {"--column that a list lacks", {{"cols.csv", "IMEI,Serial\n358511020000026,1\n"}}, {"cols.csv", "--column", "IMEI2"}, "", {},
     Summary(0, 0, 0), 2, {"kestrino-cli: Cannot read file \"cols.csv\". It has no column \"IMEI2\""}},
    {"--delimiter where the first row has none", {}, {"--delimiter", ";"}, "IMEI\n358511020000026;358511020000034\n", {},
     Summary(1, 1, 0), 0},
    // Warnings and ignored classes.
    {"--warn and --ignore", {}, {"--warn", "check-digit", "--ignore", "repeat,short"},
     "358511020000027\n358511020000026\n358511020000026\n35851102000002\n",
     {"<stdin>:1: warning: 358511020000027 has a wrong check digit: it should end in 6"}, Summary(4, 2, 0, 1), 0},
    {"--warn of no class", {}, {"--warn", "check-digit,typo"}, "", {}, "", 2,
     {"kestrino-cli: --warn: 'typo' is not a class of problems; the classes are check-digit, short, imeisv, scientific, "
      "format, not-imei, bad-imeisv, repeat, outside, missing."}},
    // Reconciliation.
    {"an expected range with stretches missing at its start, middle and end, and an IMEI outside it", {},
     {"--expect", "35851102000002", "10"},
     "IMEI\n358511020000042\n358511020000059\n358511020000075\n358511020000083\n358511020000091\n490154203237518\n",
     {"<stdin>:7: 490154203237518 is outside the expected IMEIs: its TAC is 49015420",
      "missing: 358511020000026 to 358511020000034 (2 IMEIs)", "missing: 358511020000067 to 358511020000067 (1 IMEI)",
      "missing: 358511020000109 to 358511020000117 (2 IMEIs)"},
     Summary(6, 6, 4) + ", 5 missing", 1, {},
     {R"({"file":"<stdin>","line":7,"column":null,"class":"outside","severity":"error","text":"490154203237518",)"
      R"("message":"490154203237518 is outside the expected IMEIs: its TAC is 49015420"})",
      R"({"class":"missing","severity":"error","first":"358511020000026","last":"358511020000034","count":2})",
      R"({"class":"missing","severity":"error","first":"358511020000067","last":"358511020000067","count":1})",
      R"({"class":"missing","severity":"error","first":"358511020000109","last":"358511020000117","count":2})",
      R"({"summary":{"files":1,"rows":6,"imeis":6,"errors":4,"warnings":0,"missing":5}})"}},
    {"two ranges (one given by its first IMEI) and a TAC", {},
     {"--expect", "35851102000002", "3", "--expect", "013263008765439", "1", "--tac", "49015420"},
     "358511020000026\n013263008765439\n490154203237518\n358511020000042\n358511020000059\n",
     {"<stdin>:5: 358511020000059 is outside the expected IMEIs: its TAC is 35851102",
      "missing: 358511020000034 to 358511020000034 (1 IMEI)"},
     Summary(5, 5, 2) + ", 1 missing", 1},
    {"a TAC alone; outside as a warning", {}, {"--tac", "35851102", "--warn", "outside"},
     "358511020000026\n490154203237518\n", {"<stdin>:2: warning: 490154203237518 is outside the expected IMEIs: its TAC is 49015420"},
     Summary(2, 2, 0, 1), 0},
    {"--expect from no body", {}, {"--expect", "3585110200000", "5"}, "", {}, "", 2,
     {"kestrino-cli: --expect: '3585110200000' is neither a 14-digit body nor a 15-digit IMEI."}},
    {"--expect from an IMEI with a wrong check digit", {}, {"--expect", "358511020000027", "5"}, "", {}, "", 2,
     {"kestrino-cli: --expect: '358511020000027' is neither a 14-digit body nor a 15-digit IMEI."}},
    {"--expect without a count", {}, {"--expect", "35851102000002"}, "", {}, "", 2,
     {"kestrino-cli: --expect takes two values, FIRST and COUNT: '35851102000002' has no COUNT."}},
    {"--tac of 7 digits", {}, {"--tac", "3585110"}, "", {}, "", 2, {"kestrino-cli: --tac: '3585110' is not 8 digits."}},
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
    EXPECT_EQ(got.err, Lines(c.notes) + (c.summary.empty() ? "" : c.summary + std::string(kNl)));
    EXPECT_EQ(got.code, c.code);
    if (c.json.empty()) return;

    // The same report as JSON Lines, each line read back by a JSON parser.
    args.push_back("--json");
    const Outcome json = RunCli(args, c.input, folder.path());
    std::vector<nlohmann::json> objects;
    std::size_t start = 0;
    for (std::size_t end; (end = json.out.find('\n', start)) != std::string::npos; start = end + 1) {
        objects.push_back(nlohmann::json::parse(json.out.substr(start, end - start)));
    }
    EXPECT_EQ(start, json.out.size()) << "the last line has no line end";
    std::vector<nlohmann::json> expected;
    for (const std::string& line : c.json) expected.push_back(nlohmann::json::parse(line));
    EXPECT_EQ(objects, expected);
    EXPECT_EQ(json.code, c.code);
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
    EXPECT_EQ(got.err, Summary(200001, 200000, 2) + std::string(kNl));
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
    EXPECT_EQ(got.err, Summary(5003, 5003, 3) + std::string(kNl));
    EXPECT_EQ(got.code, 1);
}

// A device export of several megabytes, so that rows, CR LF pairs, quoted
// cells and characters of several bytes (one beyond UTF-16's first plane)
// fall across the blocks the checker reads, in UTF-8 and in UTF-16.
TEST(CliCheck, ALargeExportAcrossReadBlocks) {
    constexpr int kRows = 60000;
    const Outcome one = RunCli({"list", "35851102000002", std::to_string(kRows), "--lf"});
    const Outcome two = RunCli({"list", "35851102500002", std::to_string(kRows), "--lf"});
    ASSERT_EQ(one.code, 0);
    ASSERT_EQ(two.code, 0);
    std::string text = "IMEI1;Name;IMEI2\r\n";
    std::string report;
    for (int k = 0; k < kRows; ++k) {
        const std::size_t at = 5 + 16 * static_cast<std::size_t>(k);  // after "IMEI\n", 16 bytes a line
        std::string second = two.out.substr(at, 15);
        if (k == 50000) {
            // A wrong check digit in the 50,000th device, on line 50,002.
            const char right = second.back();
            second.back() = right == '9' ? '0' : static_cast<char>(right + 1);
            report = "export.csv:50002: IMEI2: " + second + " has a wrong check digit: it should end in " + right;
        }
        text += one.out.substr(at, 15) + ";\"J\xC3\xBCrgen \"\"\xF0\x9F\x93\xB1\"\"; " + std::to_string(k) + "\";" + second + "\r\n";
    }
    for (const bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16 ? "UTF-16" : "UTF-8");
        ScratchFolder folder;
        WriteBytes(folder.path() / "export.csv", utf16 ? Utf16(text, true) : text);
        const Outcome got = RunCli({"check", "export.csv"}, "", folder.path());
        EXPECT_EQ(got.out, Lines({report}));
        EXPECT_EQ(got.err, Summary(kRows, 2 * kRows - 1, 1) + std::string(kNl));
        EXPECT_EQ(got.code, 1);
    }
    // A byte in no encoding far into the file: the file is named once, and
    // what was found before it is not reported.
    ScratchFolder folder;
    WriteBytes(folder.path() / "export.csv", text + "358511020000026;Jos\xE9;358511020000034\r\n");
    const Outcome got = RunCli({"check", "export.csv"}, "", folder.path());
    EXPECT_EQ(got.out, "");
    EXPECT_NE(got.err.find("Cannot read file \"export.csv\". It is neither UTF-8 nor UTF-16"), std::string::npos) << got.err;
    EXPECT_EQ(got.code, 2);
}

}  // namespace
}  // namespace kestrino::cli::test
