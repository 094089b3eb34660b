#pragma once

// The allocation ledger: blocks of serials a maker owns, the stretches of
// them handed out, and ranges issued elsewhere, so that no IMEI is issued twice.
// Every function throws ELedgerError (with the ledger's name, never a
// password) for a refusal, and the file errors of SafeFile for the list.

#include "cli/ListWriter.h"
#include "cli/SystemIo.h"
#include "cli/ledger/LedgerStore.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kestrino::cli::ledger {

// How an allocation's list is written, as `list` takes it; kept with the
// allocation as JSON, so that export writes the same bytes again.
struct ListStyle {
    std::optional<ListFormat> format;  // none: from the file's name, as list does
    std::optional<std::string> svn;
    bool lf = false;
    std::optional<std::string> sourceDateEpoch;  // an xlsx list's creation time, when it was given

    std::string ToJson() const;
    static ListStyle FromJson(const std::string& json);
};

struct AllocateRequest {
    std::string quantity;                // devices, as typed
    std::string perDevice = "1";         // IMEIs per device, as typed
    std::optional<std::string> tac;      // the TAC, or the first registered block with room
    std::string order;
    std::string note;
    ListStyle style;
    std::string output;                  // the list's file
};

class Ledger {
public:
    // Opens the ledger at location (see OpenLedgerStore); for init, a missing SQLite file is made.
    Ledger(const std::string& location, bool initializing);

    // Creates or upgrades the schema; says which, for the user.
    std::string Init();
    // Registers serials from-to (6 digits each; the whole TAC without) of tac.
    Block AddTac(const std::string& tac, const std::optional<std::string>& serials, const std::string& note);
    // Records count IMEIs from the 14-digit body first as issued elsewhere.
    Allocation Record(const std::string& first, const std::string& count, const std::string& order,
                      const std::string& note);
    // Takes the lowest free stretch, records it, writes its list into the
    // output file and confirms it with the list's SHA-256.
    Allocation Allocate(const AllocateRequest& request);
    // Writes an allocation's list again into output; its SHA-256 must be the one recorded.
    Allocation Export(const std::string& id, const std::string& output);
    // Each block and each allocation, as text lines or JSON Lines.
    void Show(const std::optional<std::string>& tac, bool json, ByteOutput& out);
    // One allocation, as the ledger holds it.
    Allocation Find(const std::string& id);

    const std::string& Shown() const { return shown_; }

private:
    std::string shown_;
    std::unique_ptr<LedgerStore> store_;
};

// The 15-digit IMEI of a body.
std::string ImeiOfBody(std::int64_t body);
// The 14 digits of a body, leading zeros kept.
std::string BodyText(std::int64_t body);

}  // namespace kestrino::cli::ledger
