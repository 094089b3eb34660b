#include "cli/ledger/SqliteStore.h"

#include "cli/SystemIo.h"

#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <random>
#include <thread>

namespace kestrino::cli::ledger {

const char* const kSqliteSchemaSteps[kSchemaVersion] = {
    // 1: the version, the blocks and the allocations.
    "CREATE TABLE kestrino_ledger (schema_version INTEGER NOT NULL);"
    "INSERT INTO kestrino_ledger VALUES (1);"
    "CREATE TABLE kestrino_block (id INTEGER PRIMARY KEY, tac TEXT NOT NULL, first_body INTEGER NOT NULL,"
    " last_body INTEGER NOT NULL, note TEXT NOT NULL, CHECK (first_body <= last_body));"
    "CREATE TABLE kestrino_allocation (id INTEGER PRIMARY KEY, time TEXT NOT NULL, tac TEXT NOT NULL,"
    " first_body INTEGER NOT NULL, last_body INTEGER NOT NULL, count INTEGER NOT NULL, per_device INTEGER NOT NULL,"
    " order_id TEXT NOT NULL, note TEXT NOT NULL, user_name TEXT NOT NULL, host_name TEXT NOT NULL, sha256 TEXT,"
    " state TEXT NOT NULL CHECK (state IN ('written', 'unwritten', 'recorded')),"
    " CHECK (count > 0 AND last_body = first_body + count - 1));"
    "CREATE INDEX kestrino_allocation_first ON kestrino_allocation (first_body);",
    // 2: how each list was written, for export; overlaps refused by the file itself.
    "ALTER TABLE kestrino_allocation ADD COLUMN list TEXT NOT NULL DEFAULT '{}';"
    "CREATE TRIGGER kestrino_block_no_overlap BEFORE INSERT ON kestrino_block"
    " WHEN EXISTS (SELECT 1 FROM kestrino_block WHERE first_body <= NEW.last_body AND last_body >= NEW.first_body)"
    " BEGIN SELECT RAISE(ABORT, 'kestrino: overlapping block'); END;"
    "CREATE TRIGGER kestrino_allocation_no_overlap BEFORE INSERT ON kestrino_allocation"
    " WHEN EXISTS (SELECT 1 FROM kestrino_allocation WHERE first_body <= NEW.last_body"
    " AND last_body >= NEW.first_body)"
    " BEGIN SELECT RAISE(ABORT, 'kestrino: overlapping range'); END;"
    "UPDATE kestrino_ledger SET schema_version = 2;",
};

namespace {

constexpr int kBusyTimeoutMs = 5000;

class Sqlite;

// A writer holds the file for milliseconds: SQLite's own busy timeout sleeps
// up to 100 ms between tries, so waiting writers would queue far longer than
// the work. Short, jittered naps until the timeout instead.
int WaitWhileBusy(void*, int count) {
    static thread_local std::minstd_rand jitter(std::random_device{}());
    constexpr int kNapMs = 3;
    if (count * kNapMs >= kBusyTimeoutMs) return 0;
    std::this_thread::sleep_for(std::chrono::microseconds(500 + jitter() % (2000 * kNapMs - 1000)));
    return 1;
}

class Statement {
public:
    Statement(Sqlite& db, const char* sql);
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, std::int64_t value);
    Statement& Bind(int index, const std::string& value);
    // True while there is a row.
    bool Step();
    std::int64_t Int(int column) { return sqlite3_column_int64(stmt_, column); }
    std::string Text(int column) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
    }

private:
    Sqlite& db_;
    sqlite3_stmt* stmt_ = nullptr;
};

class Sqlite {
public:
    Sqlite(const std::string& path, bool create) : path_(path) {
        const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_FULLMUTEX;
        sqlite3* db = nullptr;
        const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
        handle_.reset(db);  // even a failed open hands back a handle to close
        db_ = db;
        if (rc == SQLITE_CANTOPEN && !create) {
            throw ELedgerError("Ledger \"" + path + "\" does not exist; `kestrino-cli ledger init` creates it");
        }
        if (rc != SQLITE_OK) Check(rc);
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_handler(db_, &WaitWhileBusy, nullptr);
        Statement wal(*this, "PRAGMA journal_mode=WAL");
        if (!wal.Step() || wal.Text(0) != "wal") {
            throw ELedgerError("Ledger \"" + path + "\" cannot be kept in WAL mode");
        }
        Exec("PRAGMA synchronous=FULL");
    }
    Sqlite(const Sqlite&) = delete;
    Sqlite& operator=(const Sqlite&) = delete;

    sqlite3* Handle() { return db_; }
    const std::string& Path() const { return path_; }

    void Exec(const char* sql) { Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr)); }

    // Throws for anything but OK, ROW and DONE.
    int Check(int rc) {
        if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) return rc;
        const int primary = rc & 0xff;
        const std::string reason = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        // Another writer held the file longer than the busy timeout: the whole transaction is tried again.
        if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) throw TransactionConflict{};
        if (primary == SQLITE_NOTADB) ThrowNotALedger(path_);
        if (primary == SQLITE_CONSTRAINT && reason.rfind("kestrino: ", 0) == 0) {
            throw ELedgerError("The range overlaps one already in ledger \"" + path_ + "\" (refused by the ledger itself)");
        }
        if (primary == SQLITE_FULL) throw ELedgerError("Cannot write ledger \"" + path_ + "\". The disk is full");
        if (primary == SQLITE_IOERR) {
            // The system's reason (a full disk under the WAL, a lost device) says more than "disk I/O error".
#ifdef _WIN32
            const std::string system = reason;
#else
            const int code = db_ ? sqlite3_system_errno(db_) : 0;
            const std::string system = code ? ErrnoText(code) : reason;
#endif
            throw ELedgerError("Cannot write ledger \"" + path_ + "\". " + system);
        }
        throw ELedgerError("Ledger \"" + path_ + "\": " + reason);
    }

private:
    struct Close {
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    };
    std::string path_;
    std::unique_ptr<sqlite3, Close> handle_;
    sqlite3* db_ = nullptr;
};

Statement::Statement(Sqlite& db, const char* sql) : db_(db) {
    db_.Check(sqlite3_prepare_v2(db_.Handle(), sql, -1, &stmt_, nullptr));
}

Statement& Statement::Bind(int index, std::int64_t value) {
    db_.Check(sqlite3_bind_int64(stmt_, index, value));
    return *this;
}

Statement& Statement::Bind(int index, const std::string& value) {
    db_.Check(sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT));
    return *this;
}

bool Statement::Step() { return db_.Check(sqlite3_step(stmt_)) == SQLITE_ROW; }

constexpr const char* kAllocationColumns =
    "SELECT id, time, tac, first_body, count, per_device, order_id, note, user_name, host_name,"
    " coalesce(sha256, ''), state, list FROM kestrino_allocation ";

Allocation ReadAllocation(Statement& s) {
    Allocation a;
    a.id = s.Int(0);
    a.time = s.Text(1);
    a.tac = s.Text(2);
    a.first = s.Int(3);
    a.count = s.Int(4);
    a.perDevice = static_cast<std::int32_t>(s.Int(5));
    a.order = s.Text(6);
    a.note = s.Text(7);
    a.user = s.Text(8);
    a.host = s.Text(9);
    a.sha256 = s.Text(10);
    a.state = s.Text(11);
    a.list = s.Text(12);
    return a;
}

std::vector<Block> ReadBlocks(Statement& s) {
    std::vector<Block> blocks;
    while (s.Step()) blocks.push_back({s.Int(0), s.Text(1), s.Int(2), s.Int(3), s.Text(4)});
    return blocks;
}

class SqliteTransaction final : public LedgerTransaction {
public:
    explicit SqliteTransaction(Sqlite& db) : db_(db) {}

    std::vector<Block> Blocks(const std::optional<std::string>& tac, bool) override {
        // BEGIN IMMEDIATE already holds the whole file against other writers.
        if (!tac) {
            Statement s(db_, "SELECT id, tac, first_body, last_body, note FROM kestrino_block ORDER BY id");
            return ReadBlocks(s);
        }
        Statement s(db_, "SELECT id, tac, first_body, last_body, note FROM kestrino_block WHERE tac = ?1 ORDER BY id");
        s.Bind(1, *tac);
        return ReadBlocks(s);
    }
    std::vector<Block> BlocksOverlapping(std::int64_t first, std::int64_t last) override {
        Statement s(db_,
                    "SELECT id, tac, first_body, last_body, note FROM kestrino_block"
                    " WHERE first_body <= ?2 AND last_body >= ?1 ORDER BY first_body");
        s.Bind(1, first).Bind(2, last);
        return ReadBlocks(s);
    }
    std::vector<Span> Taken(std::int64_t first, std::int64_t last) override {
        Statement s(db_,
                    "SELECT first_body, last_body FROM kestrino_allocation"
                    " WHERE first_body <= ?2 AND last_body >= ?1 ORDER BY first_body");
        s.Bind(1, first).Bind(2, last);
        std::vector<Span> spans;
        while (s.Step()) spans.push_back({s.Int(0), s.Int(1)});
        return spans;
    }
    std::int64_t InsertBlock(const Block& b) override {
        Statement s(db_, "INSERT INTO kestrino_block (tac, first_body, last_body, note) VALUES (?1, ?2, ?3, ?4)");
        s.Bind(1, b.tac).Bind(2, b.first).Bind(3, b.last).Bind(4, b.note).Step();
        return sqlite3_last_insert_rowid(db_.Handle());
    }
    std::int64_t InsertAllocation(const Allocation& a) override {
        Statement s(db_,
                    "INSERT INTO kestrino_allocation (time, tac, first_body, last_body, count, per_device, order_id,"
                    " note, user_name, host_name, sha256, state, list)"
                    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, NULLIF(?11, ''), ?12, ?13)");
        s.Bind(1, a.time).Bind(2, a.tac).Bind(3, a.first).Bind(4, a.Last()).Bind(5, a.count).Bind(6, a.perDevice);
        s.Bind(7, a.order).Bind(8, a.note).Bind(9, a.user).Bind(10, a.host).Bind(11, a.sha256).Bind(12, a.state);
        s.Bind(13, a.list).Step();
        return sqlite3_last_insert_rowid(db_.Handle());
    }
    void Confirm(std::int64_t id, const std::string& sha256) override {
        Statement s(db_, "UPDATE kestrino_allocation SET sha256 = ?2, state = 'written' WHERE id = ?1 AND state <> 'recorded'");
        s.Bind(1, id).Bind(2, sha256).Step();
    }
    std::vector<Allocation> Allocations(const std::optional<std::string>& tac) override {
        // ?1 IS NULL: every TAC.
        Statement s(db_, (std::string(kAllocationColumns) + "WHERE ?1 IS NULL OR tac = ?1 ORDER BY id").c_str());
        if (tac) s.Bind(1, *tac);
        std::vector<Allocation> all;
        while (s.Step()) all.push_back(ReadAllocation(s));
        return all;
    }
    std::optional<Allocation> FindAllocation(std::int64_t id) override {
        Statement s(db_, (std::string(kAllocationColumns) + "WHERE id = ?1").c_str());
        s.Bind(1, id);
        if (!s.Step()) return std::nullopt;
        return ReadAllocation(s);
    }

private:
    Sqlite& db_;
};

// The version found in the file; 0 for a database with no tables at all.
int FoundVersion(Sqlite& db) {
    Statement tables(db, "SELECT count(*), sum(name = 'kestrino_ledger') FROM sqlite_master WHERE type = 'table'");
    tables.Step();
    const std::int64_t count = tables.Int(0), ours = tables.Int(1);
    if (count == 0) return 0;
    if (ours == 0) ThrowNotALedger(db.Path());
    Statement version(db, "SELECT schema_version FROM kestrino_ledger");
    if (!version.Step()) ThrowNotALedger(db.Path());
    return static_cast<int>(version.Int(0));
}

class SqliteStore final : public LedgerStore {
public:
    SqliteStore(const std::string& path, bool create) : db_(path, create) {
        if (create) return;
        Read([&](LedgerTransaction&) {
            const int version = FoundVersion(db_);
            if (version == 0) ThrowNoLedgerYet(db_.Path());
            if (version > kSchemaVersion) ThrowNewerSchema(db_.Path(), version);
            if (version < kSchemaVersion) ThrowOlderSchema(db_.Path(), version);
        });
    }

    SchemaChange Initialize() override {
        SchemaChange change;
        Write([&](LedgerTransaction&) {
            change.from = FoundVersion(db_);
            if (change.from > kSchemaVersion) ThrowNewerSchema(db_.Path(), change.from);
            for (int v = change.from; v < kSchemaVersion; ++v) db_.Exec(kSqliteSchemaSteps[v]);
            change.to = kSchemaVersion;
        });
        return change;
    }

    void Write(const std::function<void(LedgerTransaction&)>& work) override { Run("BEGIN IMMEDIATE", work); }
    void Read(const std::function<void(LedgerTransaction&)>& work) override { Run("BEGIN", work); }

private:
    void Run(const char* begin, const std::function<void(LedgerTransaction&)>& work) {
        RetryOnConflict(
            [&] {
                db_.Exec(begin);
                try {
                    SqliteTransaction transaction(db_);
                    work(transaction);
                    db_.Exec("COMMIT");
                } catch (...) {
                    sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
                    throw;
                }
            },
            "Ledger \"" + db_.Path() + "\" stayed busy: other programs held it for over a minute");
    }

    Sqlite db_;
};

}  // namespace

std::unique_ptr<LedgerStore> OpenSqliteStore(const std::string& path, bool create) {
    return std::make_unique<SqliteStore>(path, create);
}

}  // namespace kestrino::cli::ledger
