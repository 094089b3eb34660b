#pragma once

#include "cli/ledger/LedgerStore.h"

#include <memory>
#include <string>

namespace kestrino::cli::ledger {

// A ledger in one SQLite file, in WAL mode with full synchronisation, so that
// a process killed at any moment loses nothing committed. Writers take the
// file with BEGIN IMMEDIATE; a busy file is waited for and tried again.
std::unique_ptr<LedgerStore> OpenSqliteStore(const std::string& path, bool create);

// The statements that take a SQLite ledger from schema version k to k + 1,
// one text per step; tests build older ledgers with them.
extern const char* const kSqliteSchemaSteps[kSchemaVersion];

}  // namespace kestrino::cli::ledger
