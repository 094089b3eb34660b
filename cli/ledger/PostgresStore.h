#pragma once

#include "cli/ledger/LedgerStore.h"

#include <memory>
#include <string>

namespace kestrino::cli::ledger {

// A ledger in a PostgreSQL database, through libpq: statements prepared with
// parameters, the blocks' rows locked for an allocation's transaction, and
// overlaps refused by the database's own exclusion constraints.
std::unique_ptr<LedgerStore> OpenPostgresStore(const std::string& uri, bool initializing);

}  // namespace kestrino::cli::ledger
