#include "cli/ledger/LedgerStore.h"

#include "cli/ledger/SqliteStore.h"
#ifdef KESTRINO_LEDGER_POSTGRES
#include "cli/ledger/PostgresStore.h"
#endif

#include <chrono>
#include <random>
#include <thread>

namespace kestrino::cli::ledger {
namespace {

bool IsPostgresUri(const std::string& location) {
    return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

}  // namespace

void RetryOnConflict(const std::function<void()>& attempt, const std::string& givingUp) {
    constexpr int kAttempts = 12;
    std::minstd_rand pause(std::random_device{}());
    for (int tries = 1;; ++tries) {
        try {
            attempt();
            return;
        } catch (const TransactionConflict&) {
            if (tries == kAttempts) throw ELedgerError(givingUp);
            std::this_thread::sleep_for(std::chrono::milliseconds(10 + pause() % 90));
        }
    }
}

void ThrowNotALedger(const std::string& shown) {
    throw ELedgerError("\"" + shown + "\" is not a ledger of kestrino-cli");
}

void ThrowNoLedgerYet(const std::string& shown) {
    throw ELedgerError("\"" + shown + "\" holds no ledger yet; `kestrino-cli ledger init` creates one");
}

void ThrowNewerSchema(const std::string& shown, int found) {
    throw ELedgerError("Ledger \"" + shown + "\" has schema version " + std::to_string(found) +
                       ", newer than this program's " + std::to_string(kSchemaVersion) +
                       "; use a newer kestrino-cli");
}

void ThrowOlderSchema(const std::string& shown, int found) {
    throw ELedgerError("Ledger \"" + shown + "\" has schema version " + std::to_string(found) +
                       "; `kestrino-cli ledger init` upgrades it to " + std::to_string(kSchemaVersion));
}

std::vector<std::pair<std::size_t, std::size_t>> PasswordSpans(const std::string& uri) {
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    if (!IsPostgresUri(uri)) return spans;
    const std::size_t start = uri.find("://") + 3;
    const std::size_t at = uri.find('@', start);
    const std::size_t slash = uri.find('/', start);
    if (at != std::string::npos && (slash == std::string::npos || at < slash)) {
        const std::size_t colon = uri.find(':', start);
        if (colon != std::string::npos && colon < at) spans.emplace_back(colon + 1, at);
    }
    for (std::size_t key = uri.find("password="); key != std::string::npos; key = uri.find("password=", key + 1)) {
        const std::size_t end = uri.find('&', key);
        spans.emplace_back(key + 9, end == std::string::npos ? uri.size() : end);
    }
    return spans;
}

std::string ShownLocation(const std::string& location) {
    std::string shown = location;
    const auto spans = PasswordSpans(location);
    for (auto span = spans.rbegin(); span != spans.rend(); ++span) {
        shown.replace(span->first, span->second - span->first, "***");
    }
    return shown;
}

std::unique_ptr<LedgerStore> OpenLedgerStore(const std::string& location, bool create) {
    if (location.empty()) throw ELedgerError("No ledger given: --ledger LOCATION or KESTRINO_LEDGER");
    if (IsPostgresUri(location)) {
#ifdef KESTRINO_LEDGER_POSTGRES
        return OpenPostgresStore(location, create);
#else
        throw ELedgerError("This kestrino-cli keeps ledgers in SQLite files only; \"" + ShownLocation(location) +
                           "\" names a PostgreSQL ledger");
#endif
    }
    return OpenSqliteStore(location, create);
}

}  // namespace kestrino::cli::ledger
