#include "cli/ListRules.h"

#include "core/CheckDigit.h"

#include <algorithm>
#include <cstddef>

namespace kestrino::cli {
namespace {

// A sheet's rows after the header.
constexpr std::uint64_t kXlsxDevices = 1'048'575;
constexpr int kMostPerDevice = 4;
constexpr std::size_t kMostColumns = 3;

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

std::string Count(std::uint64_t n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); }

std::string Tac(std::uint64_t body) { return BodyText(body).substr(0, 8); }

std::string Imei(std::uint64_t body) { return std::string(ImeiCounter(body).Digits(), kImeiBodyDigits + 1); }

// FIRST, or a further column's: 14 digits, or 15 whose last is the check digit.
std::uint64_t FirstBody(std::string_view text, const char* name) {
    std::string_view body = text;
    if (AllDigits(text) && text.size() == kImeiBodyDigits + 1) {
        const std::int32_t check = CheckDigitOfText(text);
        if (text.back() - '0' != check) {
            throw EListRequest(std::string(text) + " is not an IMEI: its check digit should be " + std::to_string(check));
        }
        body = text.substr(0, kImeiBodyDigits);
    }
    if (!AllDigits(body) || body.size() != kImeiBodyDigits) {
        throw EListRequest(Quoted(text) + " is not a valid " + name +
                           ": it must be the first body, 14 digits, or the first IMEI, 15 digits");
    }
    std::uint64_t value = 0;
    for (const char c : body) value = value * 10 + static_cast<std::uint64_t>(c - '0');
    return value;
}

// None when more than kBodyEnd: no list can hold that many.
std::optional<std::uint64_t> Quantity(std::string_view text) {
    if (!AllDigits(text)) throw EListRequest(Quoted(text) + " is not a valid QUANTITY: it must be a decimal count of devices, 0 or more");
    std::uint64_t value = 0;
    for (const char c : text) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > kBodyEnd) return std::nullopt;
    }
    return value;
}

// Bodies start + k * step for the devices k; named in messages when there are columns.
struct Range {
    std::string name;
    std::uint64_t start;
    std::uint64_t step;
};

std::string Of(const Range& range) { return range.name.empty() ? "the range" : "the range of " + range.name; }

// Devices that fit before the end of bodies, or of the first body's TAC.
std::uint64_t DevicesThatFit(const Range& range, bool acrossTac) {
    const std::uint64_t limit = acrossTac ? kBodyEnd : (range.start / kTacSerials + 1) * kTacSerials;
    return (limit - range.start) / range.step;
}

void CheckRange(const Range& range, std::uint64_t devices, bool acrossTac) {
    const std::uint64_t bodies = devices * range.step;
    if (bodies == 0) return;
    const std::uint64_t last = range.start + bodies - 1;
    if (last >= kBodyEnd) {
        throw EListRequest(Of(range) + " passes 99999999999999 after " + Count(kBodyEnd - range.start, "IMEI"));
    }
    const std::uint64_t tac = range.start / kTacSerials;
    if (!acrossTac && last / kTacSerials != tac) {
        const std::uint64_t next = (tac + 1) * kTacSerials;
        throw EListRequest(Of(range) + " crosses from TAC " + Tac(range.start) + " into TAC " + Tac(next) + " after " +
                           Count(next - range.start, "IMEI") + "; pass --across-tac to allow it");
    }
}

// The columns' ranges are of equal length: the lowest IMEI two of them share, if any.
void CheckNoneShared(const std::vector<Range>& ranges, std::uint64_t devices) {
    if (devices == 0) return;
    const Range* a = nullptr;
    const Range* b = nullptr;
    std::uint64_t shared = kBodyEnd;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        for (std::size_t j = i + 1; j < ranges.size(); ++j) {
            const std::uint64_t low = std::max(ranges[i].start, ranges[j].start);
            const std::uint64_t high = std::min(ranges[i].start, ranges[j].start) + devices - 1;
            if (low <= high && low < shared) {
                shared = low;
                a = &ranges[i];
                b = &ranges[j];
            }
        }
    }
    if (a) throw EListRequest("the ranges of " + a->name + " and " + b->name + " share IMEI " + Imei(shared));
}

bool EndsWith(std::string_view name, std::string_view suffix) {
    if (name.size() < suffix.size()) return false;
    name.remove_prefix(name.size() - suffix.size());
    return std::equal(name.begin(), name.end(), suffix.begin(),
                      [](char x, char y) { return (x >= 'A' && x <= 'Z' ? x - 'A' + 'a' : x) == y; });
}

ListFormat FormatOf(const ListRequest& request) {
    if (request.format) return *request.format;
    if (request.output && EndsWith(*request.output, ".csv")) return ListFormat::kCsv;
    if (request.output && EndsWith(*request.output, ".xlsx")) return ListFormat::kXlsx;
    return ListFormat::kText;
}

}  // namespace

void CheckOptionsGoTogether(const ListRequest& request) {
    if (request.perDevice > 1 && !request.columns.empty()) {
        throw EListUsage(
            "--per-device above 1 and --column cannot go together: a device's IMEIs come either from FIRST's range "
            "or from a range per column");
    }
}

ColumnPlan PlanRows(const ListRequest& request) {
    CheckOptionsGoTogether(request);
    ColumnPlan plan;
    const std::uint64_t first = FirstBody(request.first, "FIRST");
    const std::optional<std::uint64_t> quantity = Quantity(request.quantity);
    if (request.perDevice < 1 || request.perDevice > kMostPerDevice) {
        throw EListRequest("--per-device must be 1 to 4, not " + std::to_string(request.perDevice));
    }
    if (request.columns.size() > kMostColumns) {
        throw EListRequest("--column may be given up to three times, not " + std::to_string(request.columns.size()));
    }
    const auto perDevice = static_cast<std::uint64_t>(request.perDevice);

    std::vector<Range> ranges{{request.columns.empty() ? "" : "IMEI1", first, perDevice}};
    for (std::size_t c = 0; c < request.columns.size(); ++c) {
        ranges.push_back({"IMEI" + std::to_string(c + 2), FirstBody(request.columns[c], "--column"), 1});
    }
    if (request.svn) {
        const std::string& svn = *request.svn;
        if (!AllDigits(svn) || svn.size() != 2) throw EListRequest(Quoted(svn) + " is not a valid --svn: it must be two digits, 00 to 98");
        if (svn == "99") throw EListRequest("--svn 99 is reserved: use 00 to 98");
        plan.svn = svn;
    }

    if (!quantity || *quantity * perDevice > kBodyEnd) {
        std::uint64_t fit = kBodyEnd;
        for (const Range& range : ranges) fit = std::min(fit, DevicesThatFit(range, request.acrossTac));
        throw EListRequest("QUANTITY " + request.quantity + " is too large: at most " + std::to_string(fit) + " fit");
    }
    plan.devices = *quantity;
    for (const Range& range : ranges) CheckRange(range, plan.devices, request.acrossTac);
    CheckNoneShared(ranges, plan.devices);

    plan.stride = perDevice;
    for (std::uint64_t i = 0; i < perDevice; ++i) plan.starts.push_back(first + i);
    for (std::size_t c = 1; c < ranges.size(); ++c) plan.starts.push_back(ranges[c].start);
    plan.lf = request.lf;
    return plan;
}

ColumnPlan PlanList(const ListRequest& request) {
    ColumnPlan plan = PlanRows(request);
    plan.format = FormatOf(request);
    if (plan.format == ListFormat::kText && plan.starts.size() > 1) {
        throw EListRequest("a text list holds one IMEI a line: with " + Count(plan.starts.size(), "IMEI") +
                           " per device, use --format csv or xlsx, which keep a device's IMEIs in one row");
    }
    if (plan.format == ListFormat::kText && plan.svn) {
        throw EListRequest("a text list holds one IMEI a line: with --svn, use --format csv or xlsx, which keep each "
                           "IMEISV beside its IMEI");
    }
    if (plan.format == ListFormat::kXlsx && !request.output) throw EListRequest("xlsx is written into a file only: add -o FILE");
    if (plan.format == ListFormat::kXlsx && plan.devices > kXlsxDevices) {
        throw EListRequest("an xlsx sheet holds at most 1048575 devices, not " + std::to_string(plan.devices) +
                           ": use csv for more");
    }
    return plan;
}

}  // namespace kestrino::cli
