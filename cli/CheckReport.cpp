#include "cli/CheckReport.h"

#include "cli/ImeiValue.h"

#include <nlohmann/json.hpp>

namespace kestrino::cli {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::size_t kQuotedCharacters = 40;
// Reports are written in pieces of about this size.
constexpr std::size_t kPiece = std::size_t{1} << 20;

std::string Counted(std::uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Code points that show nothing, or look like a blank, on a terminal.
bool Invisible(std::uint32_t c) {
    return (c >= 0x80 && c <= 0xA0) || c == 0xAD || (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x2064) || c == 0xFEFF;
}

std::string HexDigits(std::uint32_t value, int digits) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) text += kHex[(value >> shift) & 15];
    return text;
}

std::string Label(const Where& where) {
    if (!where.table) return {};
    if (where.column) {
        std::string name = Quoted(*where.column);
        return name.substr(1, name.size() - 2);
    }
    return std::to_string(where.number);
}

std::string PlaceText(const Where& where) {
    std::string text = *where.file + ":" + std::to_string(where.line);
    if (where.table) text += " (" + Label(where) + ")";
    return text;
}

Json PlaceJson(const Where& where) {
    Json place;
    place["file"] = *where.file;
    place["line"] = where.line;
    if (!where.table) {
        place["column"] = nullptr;
    } else if (where.column) {
        place["column"] = *where.column;
    } else {
        place["column"] = where.number;
    }
    return place;
}

std::string Imei(std::uint64_t value) { return DigitsText(value); }

// The clean or right IMEI that a problem names, or 0.
std::uint64_t RightImei(const Problem& p) {
    switch (p.kind) {
    case ProblemClass::kCheckDigit:
        return ImeiOfBody(p.value / 10);
    case ProblemClass::kShort:
        return ImeiOfBody(p.value);
    case ProblemClass::kImeisv:
        return ImeiOfBody(p.value / 100);
    case ProblemClass::kFormat:
        return p.value;
    default:
        return 0;
    }
}

// The cell as read: kept for cells that are not plain digits, made again for those that are.
std::string CellText(const ListChecker& checker, const Problem& p) {
    switch (p.kind) {
    case ProblemClass::kCheckDigit:
    case ProblemClass::kRepeat:
    case ProblemClass::kOutside:
        return Imei(p.value);
    case ProblemClass::kShort:
        return DigitsText(p.value, kImeiBodyDigits);
    case ProblemClass::kImeisv:
        return DigitsText(p.value, kImeiDigits + 1);
    default:
        return std::string(checker.TextOf(p));
    }
}

std::string Message(const ListChecker& checker, const Problem& p) {
    const std::string text = CellText(checker, p);
    switch (p.kind) {
    case ProblemClass::kCheckDigit:
        return text + " has a wrong check digit: it should end in " + std::to_string(RightImei(p) % 10);
    case ProblemClass::kShort: {
        std::string message = text + " has 14 digits: with its check digit it is " + Imei(RightImei(p));
        if (p.detail != 0) message += "; or it is 0" + text + ", an IMEI whose leading 0 a spreadsheet dropped";
        return message;
    }
    case ProblemClass::kImeisv:
        return text + " has 16 digits: it is an IMEISV, of the IMEI " + Imei(RightImei(p));
    case ProblemClass::kScientific:
        return Quoted(text) + " is a number in scientific notation: a spreadsheet rounded this IMEI and its digits are lost";
    case ProblemClass::kFormat:
        return Quoted(text) + " holds the IMEI " + Imei(p.value) + " among other characters";
    case ProblemClass::kNotImei:
        return text.empty() ? "the cell is empty: it holds no IMEI" : Quoted(text) + " is not an IMEI";
    case ProblemClass::kBadImeisv:
        if (p.detail == kSvn99) return text + " has the software version 99, which is reserved";
        if (p.detail == kOtherImei) {
            return text + " is not an IMEISV of the row's IMEI " + Imei(p.other) + ": their first 14 digits differ";
        }
        return text.empty() ? "the cell is empty: it holds no IMEISV" : Quoted(text) + " is not an IMEISV: it is not 16 digits";
    case ProblemClass::kRepeat:
        return text + " already appeared at " + PlaceText(checker.WhereIs(p.other));
    case ProblemClass::kOutside:
        return text + " is outside the expected IMEIs: its TAC is " + DigitsText(TacOf(p.value), 8);
    case ProblemClass::kMissing:
        break;
    }
    return {};
}

const char* SeverityName(Severity s) { return s == Severity::kWarning ? "warning" : "error"; }

void Count(ReportCounts& counts, Severity s) {
    if (s == Severity::kWarning) {
        ++counts.warnings;
    } else {
        ++counts.errors;
    }
}

}  // namespace

std::string Quoted(std::string_view text) {
    std::string out = "'";
    std::size_t characters = 0;
    std::size_t i = 0;
    while (i < text.size() && characters < kQuotedCharacters) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        if (i + length > text.size()) break;  // never cut inside a character
        std::uint32_t code = length == 1 ? c : static_cast<std::uint32_t>(c & (0x7Fu >> length));
        for (std::size_t k = 1; k < length; ++k) code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        if (code == '\t') {
            out += "\\t";
        } else if (code == '\r') {
            out += "\\r";
        } else if (code == '\n') {
            out += "\\n";
        } else if (code < 0x20 || code == 0x7F) {
            out += "\\x" + HexDigits(code, 2);
        } else if (Invisible(code)) {
            out += "\\u" + HexDigits(code, 4);
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
        ++characters;
    }
    if (i < text.size()) out += "...";
    out += '\'';
    return out;
}

ReportCounts WriteReport(const ListChecker& checker, bool json, ByteOutput& output) {
    ReportCounts counts;
    std::string text;
    const auto flush = [&](bool always) {
        if (always || text.size() >= kPiece) {
            output.Write(text);
            text.clear();
        }
    };
    checker.ForEachProblem([&](const Problem& p) {
        const Severity severity = checker.SeverityOf(p.kind);
        Count(counts, severity);
        const Where where = checker.WhereIs(p.place);
        if (json) {
            Json line = PlaceJson(where);
            line["class"] = kProblemClassNames[static_cast<std::size_t>(p.kind)];
            line["severity"] = SeverityName(severity);
            line["text"] = CellText(checker, p);
            line["message"] = Message(checker, p);
            if (const std::uint64_t imei = RightImei(p)) line["imei"] = Imei(imei);
            if (p.kind == ProblemClass::kRepeat) line["first"] = PlaceJson(checker.WhereIs(p.other));
            text += line.dump(-1, ' ', false, Json::error_handler_t::replace);
        } else {
            text += *where.file + ":" + std::to_string(where.line) + ": ";
            if (where.table) text += Label(where) + ": ";
            if (severity == Severity::kWarning) text += "warning: ";
            text += Message(checker, p);
        }
        text += json ? "\n" : kNewline;
        flush(false);
    });
    const Severity missing = checker.SeverityOf(ProblemClass::kMissing);
    for (const Missing& m : checker.MissingStretches()) {
        Count(counts, missing);
        const std::string first = Imei(ImeiOfBody(m.firstBody));
        const std::string last = Imei(ImeiOfBody(m.firstBody + m.count - 1));
        if (json) {
            Json line;
            line["class"] = "missing";
            line["severity"] = SeverityName(missing);
            line["first"] = first;
            line["last"] = last;
            line["count"] = m.count;
            text += line.dump() + "\n";
        } else {
            if (missing == Severity::kWarning) text += "warning: ";
            text += "missing: " + first + " to " + last + " (" + Counted(m.count, "IMEI", "IMEIs") + ")" + std::string(kNewline);
        }
        flush(false);
    }
    flush(true);
    return counts;
}

std::string SummaryLine(const ListChecker& checker, const ReportCounts& counts) {
    std::string line = Counted(checker.Rows(), "row", "rows") + ", " + Counted(checker.Imeis(), "IMEI", "IMEIs") + ", " +
                       Counted(counts.errors, "error", "errors") + ", " + Counted(counts.warnings, "warning", "warnings");
    if (checker.Reconciling()) line += ", " + std::to_string(checker.MissingImeis()) + " missing";
    return line;
}

std::string JsonSummary(const ListChecker& checker, const ReportCounts& counts) {
    Json summary;
    summary["files"] = checker.FilesRead();
    summary["rows"] = checker.Rows();
    summary["imeis"] = checker.Imeis();
    summary["errors"] = counts.errors;
    summary["warnings"] = counts.warnings;
    summary["missing"] = checker.MissingImeis();
    Json line;
    line["summary"] = summary;
    return line.dump() + "\n";
}

}  // namespace kestrino::cli
