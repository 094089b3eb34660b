#pragma once

// What the ledger's tests share, whichever store they run on: a fresh ledger
// for each test, the ledger as `ledger show --json` gives it, and the checks
// that hold after any number of allocations, however they ended.

#include "tests/cli/CliRunner.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace kestrino::cli::test {

// Where fresh ledgers are made: SQLite files, or databases on the test server.
class LedgerPlace {
public:
    virtual ~LedgerPlace() = default;
    // A location no ledger is at yet (init creates one there).
    virtual std::string NewLocation() = 0;
};

class SqlitePlace final : public LedgerPlace {
public:
    std::string NewLocation() override;

private:
    ScratchFolder folder_;
    int made_ = 0;
};

struct ShownBlock {
    std::string tac, from, to;
    std::int64_t issued = 0, free = 0;
};

struct ShownAllocation {
    std::int64_t id = 0, count = 0, perDevice = 0;
    std::string time, tac, first, last, order, note, user, host, sha256, state;
};

struct ShownLedger {
    std::vector<ShownBlock> blocks;
    std::vector<ShownAllocation> allocations;
};

// The ledger as `ledger show --json` gives it; fails the test if show fails.
ShownLedger Show(const std::string& location);

// kestrino-cli with --ledger location after args.
Outcome RunLedger(const std::string& location, std::vector<std::string> args);

// A fresh ledger with the whole TAC 35851102 registered, or serials (FROM-TO) of it.
std::string NewLedgerWithBlock(LedgerPlace& place, const std::string& serials = "");

// The SHA-256 of a file's bytes.
std::string FileSha256(const std::filesystem::path& file);

// What holds after any run: no two ranges share an IMEI; the allocations
// form one stretch from the block's start with no gap; written ones have a
// list file (by id in lists, when given) with the recorded SHA-256 and the
// allocation's IMEIs, unwritten ones none recorded. Reports by gtest.
void ExpectSoundLedger(const ShownLedger& ledger, std::int64_t blockFirst,
                       const std::map<std::int64_t, std::filesystem::path>& lists);

// The id in "allocation N: ..." as allocate prints it; 0 if none.
std::int64_t AllocatedId(const std::string& out);

// Allocations each of the 8 concurrent processes makes: 100, or
// KESTRINO_LEDGER_ALLOCATIONS (fewer for a quick run, more for a long one).
int AllocationsPerProcess();

// The shared cases, run on SQLite files and on PostgreSQL.
void RunCommandTable(LedgerPlace& place);
void RunConcurrentAllocations(LedgerPlace& place, int processes, int each);
void RunKilledAllocations(LedgerPlace& place, int processes, int each);

}  // namespace kestrino::cli::test
