// list and last for a production line: every refusal with its message, and
// each format's exact bytes, run as a user runs them in a folder of their own.

#include "tests/cli/CliRunner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kestrino::cli::test {
namespace {

std::string Error(const std::string& message) { return "kestrino-cli: " + message + std::string(kNl); }

// Rows of a list with CR LF line ends.
std::string Rows(const std::vector<std::string>& rows) {
    std::string text;
    for (const std::string& row : rows) text += row + "\r\n";
    return text;
}

std::string BadFirst(const std::string& given, const std::string& name = "FIRST") {
    return Error("'" + given + "' is not a valid " + name +
                 ": it must be the first body, 14 digits, or the first IMEI, 15 digits.");
}

std::string BadQuantity(const std::string& given) {
    return Error("'" + given + "' is not a valid QUANTITY: it must be a decimal count of devices, 0 or more.");
}

const std::string kTextOfPairs =
    Error("a text list holds one IMEI a line: with 2 IMEIs per device, use --format csv or xlsx, which keep a device's "
          "IMEIs in one row.");

struct ListCase {
    const char* name;
    std::vector<std::string> args;
    std::string out;   // standard output, or the file's bytes when file is set
    std::string err;
    int code;
    std::string file = {};  // the file the run writes into (its -o), in a fresh folder
};

std::ostream& operator<<(std::ostream& os, const ListCase& c) {
    os << c.name << ": kestrino-cli";
    for (const std::string& a : c.args) os << " '" << a << "'";
    return os;
}

const ListCase kListCases[] = {
    // FIRST: 14 digits, or 15 with the right check digit.
    {"an IMEI from a label", {"list", "358511020000026", "2"}, Rows({"IMEI", "358511020000026", "358511020000034"}), "", 0},
    {"an IMEI with a wrong check digit", {"list", "358511020000027", "3"}, "",
     Error("358511020000027 is not an IMEI: its check digit should be 6."), 1},
    {"a spare digit 0 in place of the check digit", {"list", "358511020000020", "3"}, "",
     Error("358511020000020 is not an IMEI: its check digit should be 6."), 1},
    {"hexadecimal", {"list", "0x35851102000002", "2"}, "", BadFirst("0x35851102000002"), 1},
    {"fifty zeros", {"list", std::string(50, '0'), "2"}, "", BadFirst(std::string(50, '0')), 1},
    {"a leading blank", {"list", " 35851102000002", "2"}, "", BadFirst(" 35851102000002"), 1},
    {"a sign", {"list", "+35851102000002", "2"}, "", BadFirst("+35851102000002"), 1},
    {"16 digits", {"list", "3585110200000261", "2"}, "", BadFirst("3585110200000261"), 1},
    {"a blank inside", {"list", "35851102 000002", "2"}, "", BadFirst("35851102 000002"), 1},

    // QUANTITY: a decimal count of devices.
    {"a negative quantity", {"list", "35851102000002", "-1"}, "", BadQuantity("-1"), 1},
    {"a hexadecimal quantity", {"list", "35851102000002", "0x10"}, "", BadQuantity("0x10"), 1},
    {"a quantity with a blank", {"list", "35851102000002", " 5"}, "", BadQuantity(" 5"), 1},
    {"a quantity with a sign", {"list", "35851102000002", "+5"}, "", BadQuantity("+5"), 1},
    {"an empty quantity", {"list", "35851102000002", ""}, "", BadQuantity(""), 1},
    {"leading zeros in the quantity", {"list", "35851102000002", "002"}, Rows({"IMEI", "358511020000026", "358511020000034"}), "", 0},
    {"more than any list holds", {"list", "35851102000002", "100000000000001"}, "",
     Error("QUANTITY 100000000000001 is too large: at most 999998 fit."), 1},
    {"more than any list holds, across TACs", {"list", "35851102000002", "100000000000001", "--across-tac"}, "",
     Error("QUANTITY 100000000000001 is too large: at most 64148897999998 fit."), 1},
    {"more than 64 bits", {"list", "35851102000002", "99999999999999999999999"}, "",
     Error("QUANTITY 99999999999999999999999 is too large: at most 999998 fit."), 1},
    {"more pairs than any list holds", {"list", "35851102000002", "50000000000001", "--per-device", "2", "--format", "csv"}, "",
     Error("QUANTITY 50000000000001 is too large: at most 499999 fit."), 1},

    // The end of 14-digit bodies.
    {"up to the last body", {"list", "99999999999996", "4"},
     Rows({"IMEI", "999999999999960", "999999999999978", "999999999999986", "999999999999994"}), "", 0},
    {"past the last body", {"list", "99999999999998", "4"}, "", Error("the range passes 99999999999999 after 2 IMEIs."), 1},
    {"past the last body, across TACs", {"list", "99999999999998", "4", "--across-tac"}, "",
     Error("the range passes 99999999999999 after 2 IMEIs."), 1},
    {"past the last body in pairs", {"list", "99999999999999", "1", "--per-device", "2", "--format", "csv"}, "",
     Error("the range passes 99999999999999 after 1 IMEI."), 1},

    // TAC boundaries.
    {"up to the TAC's last serial", {"list", "35851102999998", "2"}, Rows({"IMEI", "358511029999988", "358511029999996"}), "", 0},
    {"into the next TAC", {"list", "35851102999998", "4"}, "",
     Error("the range crosses from TAC 35851102 into TAC 35851103 after 2 IMEIs; pass --across-tac to allow it."), 1},
    {"into the next TAC, allowed", {"list", "35851102999998", "4", "--across-tac"},
     Rows({"IMEI", "358511029999988", "358511029999996", "358511030000008", "358511030000016"}), "", 0},
    {"pairs into the next TAC", {"list", "35851102999998", "2", "--per-device", "2", "--format", "csv"}, "",
     Error("the range crosses from TAC 35851102 into TAC 35851103 after 2 IMEIs; pass --across-tac to allow it."), 1},
    {"IMEI1's range into the next TAC", {"list", "35851102999999", "2", "--column", "35851103500000", "--format", "csv"}, "",
     Error("the range of IMEI1 crosses from TAC 35851102 into TAC 35851103 after 1 IMEI; pass --across-tac to allow it."), 1},
    {"a column into the next TAC", {"list", "35851102000002", "2", "--column", "35851103999999", "--format", "csv"}, "",
     Error("the range of IMEI2 crosses from TAC 35851103 into TAC 35851104 after 1 IMEI; pass --across-tac to allow it."), 1},

    // Several IMEIs per device from FIRST's range.
    {"pairs", {"list", "35851102000002", "2", "--per-device", "2", "--format", "csv"},
     Rows({"IMEI1,IMEI2", "358511020000026,358511020000034", "358511020000042,358511020000059"}), "", 0},
    {"four per device from zeros, LF", {"list", "00000000000000", "2", "--per-device", "4", "--format", "csv", "--lf"},
     "IMEI1,IMEI2,IMEI3,IMEI4\n000000000000000,000000000000018,000000000000026,000000000000034\n"
     "000000000000042,000000000000059,000000000000067,000000000000075\n",
     "", 0},
    {"no pairs", {"list", "35851102000002", "0", "--per-device", "2", "--format", "csv"}, Rows({"IMEI1,IMEI2"}), "", 0},
    {"pairs as text", {"list", "35851102000002", "2", "--per-device", "2"}, "", kTextOfPairs, 1},
    {"pairs into a .txt file", {"list", "35851102000002", "2", "--per-device", "2", "-o", "pairs.txt"}, "", kTextOfPairs, 1},
    {"none per device", {"list", "35851102000002", "2", "--per-device", "0"}, "", Error("--per-device must be 1 to 4, not 0."), 1},
    {"five per device", {"list", "35851102000002", "2", "--per-device", "5"}, "", Error("--per-device must be 1 to 4, not 5."), 1},

    // Further columns, each from a range of its own.
    {"one further column", {"list", "35851102000002", "2", "--column", "35851102500000", "--format", "csv"},
     Rows({"IMEI1,IMEI2", "358511020000026,358511025000005", "358511020000034,358511025000013"}), "", 0},
    {"three further columns",
     {"list", "35851102000002", "2", "--column", "35851102500000", "--column", "01326300000000", "--column", "860000000000009",
      "--format", "csv"},
     Rows({"IMEI1,IMEI2,IMEI3,IMEI4", "358511020000026,358511025000005,013263000000009,860000000000009",
           "358511020000034,358511025000013,013263000000017,860000000000017"}),
     "", 0},
    {"four further columns",
     {"list", "35851102000002", "2", "--column", "35851102500000", "--column", "01326300000000", "--column", "86000000000000",
      "--column", "49015420323751", "--format", "csv"},
     "", Error("--column may be given up to three times, not 4."), 1},
    {"a column that overlaps IMEI1", {"list", "35851102000002", "3", "--column", "35851102000004", "--format", "csv"}, "",
     Error("the ranges of IMEI1 and IMEI2 share IMEI 358511020000042."), 1},
    {"a column equal to IMEI1", {"list", "35851102000002", "3", "--column", "358511020000026", "--format", "csv"}, "",
     Error("the ranges of IMEI1 and IMEI2 share IMEI 358511020000026."), 1},
    {"two columns that overlap",
     {"list", "35851102000002", "3", "--column", "35851102500000", "--column", "35851102500002", "--format", "csv"}, "",
     Error("the ranges of IMEI2 and IMEI3 share IMEI 358511025000021."), 1},
    {"a bad column", {"list", "35851102000002", "2", "--column", "123", "--format", "csv"}, "", BadFirst("123", "--column"), 1},
    {"a column with a wrong check digit", {"list", "35851102000002", "2", "--column", "358511025000006", "--format", "csv"}, "",
     Error("358511025000006 is not an IMEI: its check digit should be 5."), 1},
    {"a column as text", {"list", "35851102000002", "2", "--column", "35851102500000"}, "", kTextOfPairs, 1},

    // IMEISVs.
    {"IMEISV 00", {"list", "35851102000002", "2", "--svn", "00", "--format", "csv"},
     Rows({"IMEI,IMEISV", "358511020000026,3585110200000200", "358511020000034,3585110200000300"}), "", 0},
    {"pairs with IMEISV 98", {"list", "35851102000002", "1", "--per-device", "2", "--svn", "98", "--format", "csv"},
     Rows({"IMEI1,IMEI2,IMEISV1,IMEISV2", "358511020000026,358511020000034,3585110200000298,3585110200000398"}), "", 0},
    {"IMEISV 99", {"list", "35851102000002", "2", "--svn", "99", "--format", "csv"}, "",
     Error("--svn 99 is reserved: use 00 to 98."), 1},
    {"IMEISV of one digit", {"list", "35851102000002", "2", "--svn", "5", "--format", "csv"}, "",
     Error("'5' is not a valid --svn: it must be two digits, 00 to 98."), 1},
    {"IMEISV of three digits", {"list", "35851102000002", "2", "--svn", "100", "--format", "csv"}, "",
     Error("'100' is not a valid --svn: it must be two digits, 00 to 98."), 1},
    {"IMEISV as text", {"list", "35851102000002", "2", "--svn", "00"}, "",
     Error("a text list holds one IMEI a line: with --svn, use --format csv or xlsx, which keep each IMEISV beside its IMEI."), 1},

    // Formats: named, or from the file's name.
    {"csv of one column", {"list", "35851102000002", "2", "--format", "csv"}, Rows({"IMEI", "358511020000026", "358511020000034"}),
     "", 0},
    {"csv from the name", {"list", "35851102000002", "1", "--per-device", "2", "-o", "pairs.csv"},
     Rows({"IMEI1,IMEI2", "358511020000026,358511020000034"}), "", 0, "pairs.csv"},
    {"csv from the name in capitals", {"list", "35851102000002", "1", "--per-device", "2", "-o", "PAIRS.CSV"},
     Rows({"IMEI1,IMEI2", "358511020000026,358511020000034"}), "", 0, "PAIRS.CSV"},
    {"a named format before the name", {"list", "35851102000002", "1", "--per-device", "2", "--format", "text", "-o", "pairs.csv"},
     "", kTextOfPairs, 1},
    {"xlsx to standard output", {"list", "35851102000002", "2", "--format", "xlsx"}, "",
     Error("xlsx is written into a file only: add -o FILE."), 1},
    {"more rows than a sheet has", {"list", "35851102000000", "1048576", "--across-tac", "-o", "big.xlsx"}, "",
     Error("an xlsx sheet holds at most 1048575 devices, not 1048576: use csv for more."), 1},

    // last: what the last device's row ends with, by the same rules.
    {"last of pairs", {"last", "35851102000002", "10", "--per-device", "2"}, "35851102000020,35851102000021" + std::string(kNl),
     "", 0},
    {"last of columns", {"last", "35851102000002", "2", "--column", "35851102500000", "--column", "01326300000000"},
     "35851102000003,35851102500001,01326300000001" + std::string(kNl), "", 0},
    {"last of no pairs", {"last", "35851102000002", "0", "--per-device", "2"}, "",
     Error("QUANTITY is 0: there is no last device."), 0},
    {"last into the next TAC", {"last", "35851102999998", "4"}, "",
     Error("the range crosses from TAC 35851102 into TAC 35851103 after 2 IMEIs; pass --across-tac to allow it."), 1},
    {"last into the next TAC, allowed", {"last", "35851102999998", "4", "--across-tac"}, "35851103000001" + std::string(kNl), "",
     0},
    {"last past the last body", {"last", "99999999999998", "4"}, "", Error("the range passes 99999999999999 after 2 IMEIs."), 1},
    {"last of overlapping columns", {"last", "35851102000002", "3", "--column", "35851102000004"}, "",
     Error("the ranges of IMEI1 and IMEI2 share IMEI 358511020000042."), 1},
    {"last with IMEISV 99", {"last", "35851102000002", "3", "--svn", "99"}, "", Error("--svn 99 is reserved: use 00 to 98."), 1},
};

class ListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(ListTest, WritesTheseBytesOrRefusesBeforeWritingAnything) {
    const ListCase& c = GetParam();
    ScratchFolder folder;
    const Outcome got = RunCli(c.args, "", folder.path());
    EXPECT_EQ(got.err, c.err);
    EXPECT_EQ(got.code, c.code);
    if (c.file.empty()) {
        EXPECT_EQ(got.out, c.out);
        EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{});
    } else {
        EXPECT_EQ(got.out, "");
        EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{c.file});
        EXPECT_EQ(ReadBytes(folder.path() / c.file), c.out);
    }
}

INSTANTIATE_TEST_SUITE_P(Cli, ListTest, ::testing::ValuesIn(kListCases));

#ifndef _WIN32
// Sets an environment variable for the programs started while it lives.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

const std::string kOld = "old content\r\n";

// Ctrl+C while the workbook is made: the old file stays, and neither the
// list's folder nor the temporary folder keeps anything of the run.
TEST(CliXlsx, CtrlCLeavesTheOldFileAndNoTemporaryFile) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder.path() / "tmp");
    WriteBytes(folder.path() / "list.xlsx", kOld);
    std::optional<RunningCli> cli;
    {
        const ScopedVariable tmpdir("TMPDIR", (folder.path() / "tmp").string());
        cli.emplace(std::vector<std::string>{"list", "35851102000000", "1000000", "--column", "35851103000000", "-o", "list.xlsx"},
                    folder.path());
    }
    // Past its start-up, well before a million rows are made.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    cli->Interrupt();
    const Outcome got = cli->Wait();
    EXPECT_EQ(got.code, 130) << got.err;
    EXPECT_EQ(got.err, "kestrino-cli: Interrupted." + std::string(kNl));
    cli.reset();  // and the runner's own files in the temporary folder with it
    EXPECT_EQ(ReadBytes(folder.path() / "list.xlsx"), kOld);
    EXPECT_EQ(NamesIn(folder.path()), (std::vector<std::string>{"list.xlsx", "tmp"}));
    EXPECT_EQ(NamesIn(folder.path() / "tmp"), std::vector<std::string>{});
}
#endif

}  // namespace
}  // namespace kestrino::cli::test
