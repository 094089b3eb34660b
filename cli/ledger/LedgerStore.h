#pragma once

// Where the ledger keeps its records: one small interface, a SQLite file or a
// PostgreSQL database behind it. The rest of the ledger talks only to this.
// Spans are IMEI bodies as numbers: the 8-digit TAC then the 6-digit serial.

#include "core/Exception.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrino::cli::ledger {

// Every refusal and failure of the ledger; the message names the ledger
// without any password.
class ELedgerError : public Exception {
public:
    using Exception::Exception;
};

// A block of serials the maker owns: bodies first..last of one TAC.
struct Block {
    std::int64_t id = 0;
    std::string tac;
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::string note;
};

// One allocation, or a range recorded as issued elsewhere.
struct Allocation {
    std::int64_t id = 0;
    std::string time;  // UTC, 2026-01-31T08:00:00Z
    std::string tac;
    std::int64_t first = 0;  // the first body
    std::int64_t count = 0;  // IMEIs
    std::int32_t perDevice = 1;
    std::string order;
    std::string note;
    std::string user;
    std::string host;
    std::string sha256;  // empty until the list is complete
    std::string state;   // written, unwritten or recorded
    std::string list;    // how its list is written, as JSON, for export

    std::int64_t Last() const { return first + count - 1; }
};

// Bodies first..last taken by an allocation or a record.
struct Span {
    std::int64_t first = 0;
    std::int64_t last = 0;
};

// The operations of one transaction.
class LedgerTransaction {
public:
    virtual ~LedgerTransaction() = default;
    // Blocks of the TAC (every block without one), in the order they were
    // registered; with lock, held against other writers until the end.
    virtual std::vector<Block> Blocks(const std::optional<std::string>& tac, bool lock) = 0;
    // Blocks that share a body with first..last.
    virtual std::vector<Block> BlocksOverlapping(std::int64_t first, std::int64_t last) = 0;
    // Taken spans that share a body with first..last, by their first body.
    virtual std::vector<Span> Taken(std::int64_t first, std::int64_t last) = 0;
    virtual std::int64_t InsertBlock(const Block& block) = 0;
    virtual std::int64_t InsertAllocation(const Allocation& allocation) = 0;
    // Marks an allocation written with its list's SHA-256.
    virtual void Confirm(std::int64_t id, const std::string& sha256) = 0;
    // Allocations and records of the TAC (all without one), by id.
    virtual std::vector<Allocation> Allocations(const std::optional<std::string>& tac) = 0;
    virtual std::optional<Allocation> FindAllocation(std::int64_t id) = 0;
};

// What Initialize found.
struct SchemaChange {
    int from = 0;  // 0: there was no ledger
    int to = 0;
};

class LedgerStore {
public:
    virtual ~LedgerStore() = default;
    // Creates the schema, or upgrades an older one, in one transaction.
    virtual SchemaChange Initialize() = 0;
    // Runs work in one transaction that may write, committed at its end and
    // rolled back when it throws. While other writers hold the ledger it waits
    // and tries again, so work may run more than once.
    virtual void Write(const std::function<void(LedgerTransaction&)>& work) = 0;
    // Runs work in one transaction that only reads.
    virtual void Read(const std::function<void(LedgerTransaction&)>& work) = 0;
};

// Thrown inside a store's transaction when another writer got in the way
// (SQLite busy, a PostgreSQL serialization failure or deadlock).
struct TransactionConflict {};

// Runs attempt until it ends without TransactionConflict, with short random
// pauses between tries; after twelve tries throws ELedgerError(givingUp).
void RetryOnConflict(const std::function<void()>& attempt, const std::string& givingUp);

// The schema this program writes, and what each store must refuse.
inline constexpr int kSchemaVersion = 2;

// The refusals both stores give for the schema they find.
[[noreturn]] void ThrowNotALedger(const std::string& shown);
[[noreturn]] void ThrowNoLedgerYet(const std::string& shown);
[[noreturn]] void ThrowNewerSchema(const std::string& shown, int found);
[[noreturn]] void ThrowOlderSchema(const std::string& shown, int found);

// Opens the ledger named by location: a postgresql:// (or postgres://) URI,
// otherwise a SQLite file. With create, a missing SQLite file is made.
// Throws ELedgerError.
std::unique_ptr<LedgerStore> OpenLedgerStore(const std::string& location, bool create);

// The location as messages show it: a URI's password replaced by "***".
std::string ShownLocation(const std::string& location);

// Where a URI holds passwords (user:password@ and password=), as [begin, end) offsets.
std::vector<std::pair<std::size_t, std::size_t>> PasswordSpans(const std::string& uri);

}  // namespace kestrino::cli::ledger
