#include "cli/ledger/Ledger.h"

#include "cli/Errors.h"
#include "cli/Interrupt.h"
#include "cli/ListRules.h"
#include "cli/SafeFile.h"
#include "cli/ledger/Sha256.h"
#include "cli/ledger/Station.h"
#include "core/CheckDigit.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>

namespace kestrino::cli::ledger {
namespace {

constexpr std::int64_t kSerials = 1000000;
constexpr std::int64_t kMaxPerDevice = 4;  // as list takes it
constexpr std::size_t kMaxText = 4096;

bool AllDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A count typed by the user: digits only, from 1 to max.
std::int64_t Count(const char* what, const std::string& text, std::int64_t max) {
    if (!AllDigits(text) || text.size() > 9 || std::stoll(text) < 1 || std::stoll(text) > max) {
        throw ELedgerError(std::string(what) + " must be a whole number from 1 to " + std::to_string(max) + ", not \"" +
                           text + "\"");
    }
    return std::stoll(text);
}

std::string CheckedTac(const std::string& tac) {
    if (tac.size() != 8 || !AllDigits(tac)) throw ELedgerError("A TAC is 8 digits, not \"" + tac + "\"");
    return tac;
}

// Order numbers and notes are kept exactly as given, as long as they are
// text that every report can show on one line.
std::string CheckedText(const char* what, const std::string& text) {
    if (text.size() > kMaxText) {
        throw ELedgerError(std::string(what) + " is longer than " + std::to_string(kMaxText) + " bytes");
    }
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool valid = length != 0 && i + length <= text.size() && c != 0xc0 && c != 0xc1 && c < 0xf5;
        for (std::size_t k = 1; valid && k < length; ++k) valid = (static_cast<unsigned char>(text[i + k]) >> 6) == 2;
        if (!valid) throw ELedgerError(std::string(what) + " is not UTF-8 text");
        if (c < 0x20 || c == 0x7f) throw ELedgerError(std::string(what) + " holds a control character");
        i += length;
    }
    return text;
}

std::string Plural(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The lowest free stretch of n bodies in the block, or none; largest is the
// longest free stretch seen.
std::optional<std::int64_t> LowestFree(const Block& block, const std::vector<Span>& taken, std::int64_t n,
                                       std::int64_t& largest) {
    std::int64_t cursor = block.first;
    for (const Span& span : taken) {
        if (span.last < cursor) continue;
        if (span.first > cursor) {
            const std::int64_t gap = std::min(span.first, block.last + 1) - cursor;
            if (gap >= n) return cursor;
            largest = std::max(largest, gap);
        }
        cursor = std::max(cursor, span.last + 1);
        if (cursor > block.last) return std::nullopt;
    }
    const std::int64_t gap = block.last + 1 - cursor;
    if (gap >= n) return cursor;
    largest = std::max(largest, gap);
    return std::nullopt;
}

std::int64_t Issued(const Block& block, const std::vector<Span>& taken) {
    std::int64_t issued = 0;
    for (const Span& span : taken) issued += std::min(span.last, block.last) - std::max(span.first, block.first) + 1;
    return issued;
}

std::string Serial(std::int64_t body) {
    std::string text = std::to_string(body % kSerials);
    return std::string(6 - text.size(), '0') + text;
}

std::string BlockName(const Block& b) { return b.tac + " " + Serial(b.first) + "-" + Serial(b.last); }

std::string RangeName(const Allocation& a) {
    const std::string what = a.state == "recorded" ? "recorded range " : "allocation ";
    return what + std::to_string(a.id) + " (" + ImeiOfBody(a.first) + " to " + ImeiOfBody(a.Last()) + ")";
}

const char* FormatName(ListFormat format) {
    return format == ListFormat::kCsv ? "csv" : format == ListFormat::kXlsx ? "xlsx" : "text";
}

// The request `list` would be given for the allocation's list.
ListRequest RequestOf(const Allocation& a, const std::string& output) {
    const ListStyle style = ListStyle::FromJson(a.list);
    ListRequest request;
    request.first = BodyText(a.first);
    request.quantity = std::to_string(a.count / a.perDevice);
    request.perDevice = a.perDevice;
    request.svn = style.svn;
    request.format = style.format;
    request.output = output;
    request.lf = style.lf;
    return request;
}

std::string FileSha256(const std::string& path) {
    InputFile in(path);
    Sha256 digest;
    std::string buffer(1 << 16, '\0');
    for (std::size_t n; (n = in.Read(buffer.data(), buffer.size())) > 0;) digest.Add(std::string_view(buffer.data(), n));
    return digest.Hex();
}

void UseSourceDateEpoch(const std::optional<std::string>& epoch) {
#ifdef _WIN32
    _putenv_s("SOURCE_DATE_EPOCH", epoch ? epoch->c_str() : "");
#else
    if (epoch) {
        setenv("SOURCE_DATE_EPOCH", epoch->c_str(), 1);
    } else {
        unsetenv("SOURCE_DATE_EPOCH");
    }
#endif
}

std::string Mismatch(const Allocation& a, const std::string& sha256, const std::string& expected) {
    return "The list of allocation " + std::to_string(a.id) + " came out with SHA-256 " + sha256 + ", not the " +
           expected + " recorded";
}

// Writes the allocation's list, exactly as `list` writes it, into a file and
// returns its SHA-256; with expected, a text or csv file is put in place only
// when the digest is that one. No InterruptGuard may be held around it.
std::string WriteListFile(const Allocation& a, const std::string& output, const std::string& expected) {
    ListRequest request = RequestOf(a, output);
    if (PlanList(request).format == ListFormat::kXlsx) {
        // The workbook's creation time as when it was first written.
        UseSourceDateEpoch(ListStyle::FromJson(a.list).sourceDateEpoch);
        // The workbook goes through a file of its own: written whole, then read back.
        StandardOutput unused;
        WriteList(request, unused);
        const std::string sha256 = FileSha256(output);
        if (!expected.empty() && sha256 != expected) throw ELedgerError(Mismatch(a, sha256, expected));
        return sha256;
    }
    request.output.reset();
    InterruptGuard guard;
    SafeFile file(output);
    Sha256 digest;
    HashingOutput hashing(file, digest);
    WriteList(request, hashing);
    const std::string sha256 = digest.Hex();
    if (!expected.empty() && sha256 != expected) {
        throw ELedgerError(Mismatch(a, sha256, expected) + "; \"" + output + "\" was left as it was");
    }
    file.Commit();
    return sha256;
}

nlohmann::json Json(const Allocation& a) {
    return {{"allocation",
             {{"id", a.id},
              {"time", a.time},
              {"tac", a.tac},
              {"first", ImeiOfBody(a.first)},
              {"last", ImeiOfBody(a.Last())},
              {"count", a.count},
              {"per_device", a.perDevice},
              {"order", a.order},
              {"note", a.note},
              {"user", a.user},
              {"host", a.host},
              {"sha256", a.sha256.empty() ? nlohmann::json(nullptr) : nlohmann::json(a.sha256)},
              {"state", a.state}}}};
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

std::string ListStyle::ToJson() const {
    nlohmann::json json{{"lf", lf}};
    if (format) json["format"] = FormatName(*format);
    if (svn) json["svn"] = *svn;
    if (sourceDateEpoch) json["source_date_epoch"] = *sourceDateEpoch;
    return json.dump();
}

ListStyle ListStyle::FromJson(const std::string& json) {
    ListStyle style;
    const nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
    if (!parsed.is_object()) return style;
    style.lf = parsed.value("lf", false);
    const std::string format = parsed.value("format", "");
    if (format == "text") style.format = ListFormat::kText;
    if (format == "csv") style.format = ListFormat::kCsv;
    if (format == "xlsx") style.format = ListFormat::kXlsx;
    if (parsed.contains("svn")) style.svn = parsed["svn"].get<std::string>();
    if (parsed.contains("source_date_epoch")) style.sourceDateEpoch = parsed["source_date_epoch"].get<std::string>();
    return style;
}

std::string BodyText(std::int64_t body) {
    std::string text = std::to_string(body);
    return std::string(text.size() < 14 ? 14 - text.size() : 0, '0') + text;
}

// Through the text, since a body of a TAC starting with 0 is below Gen15's range.
std::string ImeiOfBody(std::int64_t body) {
    const std::string text = BodyText(body);
    return text + static_cast<char>('0' + CheckDigitOfText(text));
}

Ledger::Ledger(const std::string& location, bool initializing)
    : shown_(ShownLocation(location)), store_(OpenLedgerStore(location, initializing)) {}

std::string Ledger::Init() {
    const SchemaChange change = store_->Initialize();
    const std::string version = std::to_string(change.to);
    if (change.from == 0) return "Created ledger \"" + shown_ + "\" (schema version " + version + ")";
    if (change.from == change.to) return "Ledger \"" + shown_ + "\" exists (schema version " + version + ")";
    return "Upgraded ledger \"" + shown_ + "\" from schema version " + std::to_string(change.from) + " to " + version;
}

Block Ledger::AddTac(const std::string& tac, const std::optional<std::string>& serials, const std::string& note) {
    Block block;
    block.tac = CheckedTac(tac);
    block.note = CheckedText("The note", note);
    const std::int64_t base = std::stoll(tac) * kSerials;
    block.first = base;
    block.last = base + kSerials - 1;
    if (serials) {
        const std::size_t dash = serials->find('-');
        const std::string from = serials->substr(0, dash), to = dash == std::string::npos ? "" : serials->substr(dash + 1);
        if (from.size() != 6 || to.size() != 6 || !AllDigits(from) || !AllDigits(to) || from > to) {
            throw ELedgerError("--serials takes FROM-TO, two 6-digit serials with FROM not above TO, not \"" +
                               *serials + "\"");
        }
        block.first = base + std::stoll(from);
        block.last = base + std::stoll(to);
    }
    store_->Write([&](LedgerTransaction& t) {
        const std::vector<Block> overlapping = t.BlocksOverlapping(block.first, block.last);
        if (!overlapping.empty()) {
            throw ELedgerError("Block " + BlockName(block) + " overlaps block " + BlockName(overlapping.front()) +
                               ", registered already in ledger \"" + shown_ + "\"");
        }
        block.id = t.InsertBlock(block);
    });
    return block;
}

Allocation Ledger::Record(const std::string& first, const std::string& count, const std::string& order,
                          const std::string& note) {
    if (first.size() != 14 || !AllDigits(first)) {
        throw ELedgerError("FIRST is the 14-digit body of the range's first IMEI, not \"" + first + "\"");
    }
    Allocation a;
    a.first = std::stoll(first);
    a.count = Count("COUNT", count, kSerials);
    a.tac = first.substr(0, 8);
    if (a.first % kSerials + a.count > kSerials) {
        throw ELedgerError("The range runs past the last serial of TAC " + a.tac + ": it would end in another TAC");
    }
    a.order = CheckedText("The order", order);
    a.note = CheckedText("The note", note);
    a.time = UtcNow();
    a.user = StationUser();
    a.host = StationHost();
    a.state = "recorded";
    a.list = "{}";
    store_->Write([&](LedgerTransaction& t) {
        t.Blocks(a.tac, true);  // waits for allocations in this TAC to finish
        const std::vector<Span> taken = t.Taken(a.first, a.Last());
        if (!taken.empty()) {
            throw ELedgerError("The range " + ImeiOfBody(a.first) + " to " + ImeiOfBody(a.Last()) +
                               " overlaps IMEIs " + ImeiOfBody(taken.front().first) + " to " +
                               ImeiOfBody(taken.front().last) + ", issued already in ledger \"" + shown_ + "\"");
        }
        a.id = t.InsertAllocation(a);
    });
    return a;
}

Allocation Ledger::Allocate(const AllocateRequest& request) {
    Allocation a;
    const std::int64_t perDevice = Count("--per-device", request.perDevice, kMaxPerDevice);
    const std::int64_t devices = Count("QUANTITY", request.quantity, kSerials);
    if (devices * perDevice > kSerials) {
        throw ELedgerError("QUANTITY × --per-device is " + std::to_string(devices * perDevice) +
                           " IMEIs; a TAC holds 1000000");
    }
    if (request.tac) CheckedTac(*request.tac);
    a.count = devices * perDevice;
    a.perDevice = static_cast<std::int32_t>(perDevice);
    a.order = CheckedText("The order", request.order);
    a.note = CheckedText("The note", request.note);
    a.user = StationUser();
    a.host = StationHost();
    a.state = "unwritten";
    ListStyle style = request.style;
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) style.sourceDateEpoch = epoch;
    a.list = style.ToJson();
    // Every rule of lists checked on a stand-in of the same shape before anything is recorded;
    // the format is fixed now, so that export writes the same list whatever its file is named.
    Allocation shape = a;
    shape.first = 35851102000000;
    style.format = PlanList(RequestOf(shape, request.output)).format;
    a.list = style.ToJson();

    // Until the list is being written, Ctrl+C no longer ends the program
    // between recording the allocation and writing its list.
    std::optional<InterruptGuard> guard(std::in_place);
    store_->Write([&](LedgerTransaction& t) {
        const std::vector<Block> blocks = t.Blocks(request.tac, true);
        if (blocks.empty()) {
            throw ELedgerError(request.tac ? "TAC " + *request.tac + " has no block in ledger \"" + shown_ +
                                                 "\"; `kestrino-cli ledger add-tac` registers one"
                                           : "Ledger \"" + shown_ + "\" has no block; `kestrino-cli ledger add-tac` "
                                                                    "registers one");
        }
        std::int64_t largest = 0;
        for (const Block& block : blocks) {
            const auto first = LowestFree(block, t.Taken(block.first, block.last), a.count, largest);
            if (first) {
                ThrowIfInterrupted();  // Ctrl+C while waiting for the ledger: nothing recorded
                a.first = *first;
                a.tac = block.tac;
                a.time = UtcNow();
                a.id = t.InsertAllocation(a);
                return;
            }
        }
        const std::string where = request.tac ? "TAC " + *request.tac : "any block";
        std::string message = "No free stretch of " + Plural(a.count, "IMEI", "IMEIs") + " in " + where +
                              " of ledger \"" + shown_ + "\"; nothing was allocated. The largest that would fit: ";
        const std::int64_t fits = largest / perDevice;
        message += perDevice == 1 ? Plural(fits, "IMEI", "IMEIs")
                                  : Plural(fits, "device", "devices") + " of " + std::to_string(perDevice) + " IMEIs";
        throw ELedgerError(message);
    });

    std::string sha256;
    try {
        ThrowIfInterrupted();
        guard.reset();
        ThrowIfInterrupted();
        sha256 = WriteListFile(a, request.output, "");
    } catch (...) {
        WriteStandardError("kestrino-cli: allocation " + std::to_string(a.id) +
                           " stays recorded as unwritten; `kestrino-cli ledger export " + std::to_string(a.id) +
                           " -o FILE` writes its list." + std::string(kNewline));
        throw;
    }
    try {
        store_->Write([&](LedgerTransaction& t) { t.Confirm(a.id, sha256); });
    } catch (const ELedgerError& e) {
        throw ELedgerError(e.Message() + ". The list of allocation " + std::to_string(a.id) + " is complete in \"" +
                           request.output + "\" but stays recorded as unwritten; `kestrino-cli ledger export " +
                           std::to_string(a.id) + "` confirms it");
    }
    a.sha256 = sha256;
    a.state = "written";
    return a;
}

Allocation Ledger::Find(const std::string& id) {
    if (!AllDigits(id) || id.size() > 18) throw ELedgerError("An allocation's id is a number, not \"" + id + "\"");
    std::optional<Allocation> found;
    store_->Read([&](LedgerTransaction& t) { found = t.FindAllocation(std::stoll(id)); });
    if (!found) throw ELedgerError("Ledger \"" + shown_ + "\" has no allocation " + id);
    return *found;
}

Allocation Ledger::Export(const std::string& id, const std::string& output) {
    Allocation a = Find(id);
    if (a.state == "recorded") {
        throw ELedgerError(RangeName(a) + " was issued elsewhere; the ledger has no list of it");
    }
    const std::string sha256 = WriteListFile(a, output, a.sha256);
    if (a.state == "unwritten") {
        store_->Write([&](LedgerTransaction& t) { t.Confirm(a.id, sha256); });
        a.sha256 = sha256;
        a.state = "written";
    }
    return a;
}

void Ledger::Show(const std::optional<std::string>& tac, bool json, ByteOutput& out) {
    if (tac) CheckedTac(*tac);
    std::string text;
    store_->Read([&](LedgerTransaction& t) {
        text.clear();
        for (const Block& b : t.Blocks(tac, false)) {
            const std::int64_t issued = Issued(b, t.Taken(b.first, b.last));
            const std::int64_t free = b.last - b.first + 1 - issued;
            if (json) {
                text += nlohmann::json{{"block",
                                        {{"tac", b.tac},
                                         {"from", Serial(b.first)},
                                         {"to", Serial(b.last)},
                                         {"issued", issued},
                                         {"free", free}}}}
                            .dump();
            } else {
                text += "block " + BlockName(b) + ": " + std::to_string(issued) + " issued, " + std::to_string(free) +
                        " free" + (b.note.empty() ? "" : "; note " + Quoted(b.note));
            }
            text += kNewline;
        }
        for (const Allocation& a : t.Allocations(tac)) {
            if (json) {
                text += Json(a).dump();
            } else {
                text += "allocation " + std::to_string(a.id) + ": " + a.time + " TAC " + a.tac + " " +
                        ImeiOfBody(a.first) + " to " + ImeiOfBody(a.Last()) + ", " + Plural(a.count, "IMEI", "IMEIs") +
                        ", " + std::to_string(a.perDevice) + " per device; order " + Quoted(a.order) + "; note " +
                        Quoted(a.note) + "; " + a.user + "@" + a.host + "; sha256 " +
                        (a.sha256.empty() ? "-" : a.sha256) + "; " + a.state;
            }
            text += kNewline;
        }
    });
    out.Write(text);
}

}  // namespace kestrino::cli::ledger
