// The rule of kestrino-cli, over many random arguments: what list writes is
// exactly the IMEIs its arguments name, valid and distinct, and check accepts
// it, text or csv, as list wrote it; what would break the rule is refused with nothing written; last ends
// where list ends. The expected IMEIs are worked out here, independently.

#include "tests/cli/CheckSummary.h"
#include "tests/cli/CliRunner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace kestrino::cli::test {
namespace {

constexpr std::uint64_t kEnd = 100'000'000'000'000;
constexpr std::uint64_t kTac = 1'000'000;
// Each case starts kestrino-cli two or three times; under Wine each start takes about a second.
#ifdef _WIN32
constexpr int kCases = 12;
#else
constexpr int kCases = 60;
#endif

std::string Body(std::uint64_t body) {
    std::string text = std::to_string(body);
    return std::string(14 - text.size(), '0') + text;
}

// The Luhn check digit, written out from the rule itself.
char CheckDigit(const std::string& body) {
    int sum = 0;
    for (std::size_t i = 0; i < body.size(); ++i) {
        int d = body[i] - '0';
        if (i % 2 == 1) d = d * 2 > 9 ? d * 2 - 9 : d * 2;
        sum += d;
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::string Imei(std::uint64_t body) { return Body(body) + CheckDigit(Body(body)); }

struct Arguments {
    std::uint64_t first = 0;
    bool firstAsImei = false;
    std::vector<std::uint64_t> columns;
    int perDevice = 1;
    std::uint64_t quantity = 0;
    bool acrossTac = false;
    std::optional<int> svn;

    std::size_t Columns() const { return columns.empty() ? static_cast<std::size_t>(perDevice) : columns.size() + 1; }
    bool Text() const { return Columns() == 1 && !svn; }

    std::vector<std::string> Rows() const {
        std::vector<std::string> args = {firstAsImei ? Imei(first) : Body(first), std::to_string(quantity)};
        if (perDevice > 1) args.insert(args.end(), {"--per-device", std::to_string(perDevice)});
        for (const std::uint64_t c : columns) args.insert(args.end(), {"--column", Body(c)});
        if (acrossTac) args.push_back("--across-tac");
        if (svn) args.insert(args.end(), {"--svn", std::string(1, static_cast<char>('0' + *svn / 10)) + static_cast<char>('0' + *svn % 10)});
        return args;
    }
    std::string Printed() const {
        std::string text;
        for (const std::string& a : Rows()) text += " " + a;
        return text;
    }

    // Each column's bodies device by device; none when the arguments break the rule.
    std::optional<std::vector<std::vector<std::uint64_t>>> Named() const {
        std::vector<std::uint64_t> starts;
        std::uint64_t stride = 1;
        if (columns.empty()) {
            for (int i = 0; i < perDevice; ++i) starts.push_back(first + static_cast<std::uint64_t>(i));
            stride = static_cast<std::uint64_t>(perDevice);
        } else {
            starts.push_back(first);
            starts.insert(starts.end(), columns.begin(), columns.end());
        }
        std::vector<std::vector<std::uint64_t>> rows;
        std::set<std::uint64_t> seen;
        for (std::uint64_t k = 0; k < quantity; ++k) {
            std::vector<std::uint64_t> row;
            for (std::size_t c = 0; c < starts.size(); ++c) {
                const std::uint64_t body = starts[c] + k * stride;
                // A range is FIRST's (all its columns) or a further column's.
                const std::uint64_t rangeStart = columns.empty() ? first : starts[c];
                if (body >= kEnd) return std::nullopt;
                if (!acrossTac && body / kTac != rangeStart / kTac) return std::nullopt;
                if (!seen.insert(body).second) return std::nullopt;
                row.push_back(body);
            }
            rows.push_back(row);
        }
        return rows;
    }
};

// Starts where lists tend to go wrong: TACs that begin with 0, the last
// serials of a TAC, the last bodies there are.
std::uint64_t Start(std::mt19937_64& random) {
    const auto pick = [&](std::uint64_t below) { return std::uniform_int_distribution<std::uint64_t>(0, below - 1)(random); };
    switch (pick(5)) {
    case 0: return pick(kEnd / 10);                       // leading zero
    case 1: return pick(kEnd / kTac) * kTac + kTac - 1 - pick(30);  // a TAC's end
    case 2: return kEnd - 1 - pick(40);                  // the end of bodies
    case 3: return pick(kEnd / kTac) * kTac;             // a TAC's first serial
    default: return pick(kEnd);
    }
}

Arguments RandomArguments(std::mt19937_64& random) {
    const auto pick = [&](std::uint64_t below) { return std::uniform_int_distribution<std::uint64_t>(0, below - 1)(random); };
    Arguments a;
    a.first = Start(random);
    a.firstAsImei = pick(4) == 0;
    a.quantity = pick(8) == 0 ? pick(3000) : pick(40);
    a.acrossTac = pick(2) == 0;
    if (pick(2) == 0) {
        a.perDevice = 1 + static_cast<int>(pick(4));
    } else {
        for (std::uint64_t c = pick(4); c > 0; --c) {
            // Some near FIRST, so that ranges overlap now and then.
            const std::uint64_t shift = pick(60);
            const std::uint64_t near = a.first + shift >= 30 ? a.first + shift - 30 : 0;
            a.columns.push_back(pick(3) == 0 ? std::min(near, kEnd - 1) : Start(random));
        }
    }
    if (pick(3) == 0) a.svn = static_cast<int>(pick(99));
    return a;
}

std::string Csv(const Arguments& a, const std::vector<std::vector<std::uint64_t>>& rows) {
    const std::size_t columns = a.Columns();
    const auto names = [&](const char* name) {
        std::vector<std::string> out;
        for (std::size_t c = 0; c < columns; ++c) out.push_back(columns == 1 ? name : name + std::to_string(c + 1));
        return out;
    };
    std::vector<std::string> header = names("IMEI");
    if (a.svn) {
        const std::vector<std::string> sv = names("IMEISV");
        header.insert(header.end(), sv.begin(), sv.end());
    }
    std::string text;
    const auto line = [&](const std::vector<std::string>& cells) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i > 0) text += ',';
            text += cells[i];
        }
        text += "\r\n";
    };
    line(header);
    for (const std::vector<std::uint64_t>& row : rows) {
        std::vector<std::string> cells;
        for (const std::uint64_t body : row) cells.push_back(Imei(body));
        if (a.svn) {
            for (const std::uint64_t body : row) cells.push_back(Body(body) + char('0' + *a.svn / 10) + char('0' + *a.svn % 10));
        }
        line(cells);
    }
    return text;
}

TEST(CliListRule, WritesExactlyTheIMEIsTheArgumentsNameOrNothing) {
    std::mt19937_64 random(20261210);
    int written = 0;
    int refused = 0;
    for (int i = 0; i < kCases; ++i) {
        const Arguments a = RandomArguments(random);
        SCOPED_TRACE("case " + std::to_string(i) + ": list" + a.Printed());
        const auto named = a.Named();
        std::vector<std::string> args = {"list"};
        const std::vector<std::string> rowArgs = a.Rows();
        args.insert(args.end(), rowArgs.begin(), rowArgs.end());
        if (!a.Text()) args.insert(args.end(), {"--format", "csv"});
        const Outcome list = RunCli(args);

        std::vector<std::string> lastArgs = {"last"};
        lastArgs.insert(lastArgs.end(), rowArgs.begin(), rowArgs.end());
        const Outcome last = RunCli(lastArgs);

        if (!named) {
            ++refused;
            EXPECT_EQ(list.code, 1) << list.err;
            EXPECT_EQ(list.out, "");
            EXPECT_EQ(last.code, 1) << last.err;
            EXPECT_EQ(last.err, list.err);
            continue;
        }
        ++written;
        ASSERT_EQ(list.code, 0) << list.err;
        EXPECT_EQ(list.out, Csv(a, *named));

        // Every IMEI of the list, one a line: check finds none invalid and none
        // twice. For the text lists, and now and then for the others.
        std::string flat = "IMEI\r\n";
        for (const auto& row : *named) {
            for (const std::uint64_t body : row) flat += Imei(body) + "\r\n";
        }
        if (a.Text()) {
            EXPECT_EQ(list.out, flat);
        }
        if (a.Text() || i % 4 == 0) {
            const Outcome check = RunCli({"check"}, flat);
            EXPECT_EQ(check.code, 0) << check.out << check.err;
        }
        // And the list as list wrote it, text or csv: every row read, every IMEI
        // counted, no problem at all (IMEISVs checked against their IMEIs).
        std::size_t imeis = 0;
        for (const auto& row : *named) imeis += row.size();
        const Outcome check = RunCli({"check"}, list.out);
        EXPECT_EQ(check.out, "");
        EXPECT_EQ(check.err, CheckSummary(static_cast<long long>(named->size()), static_cast<long long>(imeis), 0) +
                                 std::string(kNl));
        EXPECT_EQ(check.code, 0);

        std::string lastRow;
        if (!named->empty()) {
            for (const std::uint64_t body : named->back()) {
                if (!lastRow.empty()) lastRow += ',';
                lastRow += Body(body);
            }
        }
        EXPECT_EQ(last.code, 0) << last.err;
        EXPECT_EQ(last.out, lastRow.empty() ? "" : lastRow + std::string(kNl));
    }
    // The arguments reach both sides of the rule.
    EXPECT_GT(written, kCases / 4);
    EXPECT_GT(refused, kCases / 8);
}

}  // namespace
}  // namespace kestrino::cli::test
