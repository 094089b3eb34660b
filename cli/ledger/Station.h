#pragma once

#include <string>

namespace kestrino::cli::ledger {

// Who allocates and where, as the ledger records them.
std::string StationUser();
std::string StationHost();

// Now, in UTC: 2026-01-31T08:00:00Z.
std::string UtcNow();

}  // namespace kestrino::cli::ledger
