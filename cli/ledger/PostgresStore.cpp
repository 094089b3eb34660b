#include "cli/ledger/PostgresStore.h"

#include <libpq-fe.h>

#include <map>

namespace kestrino::cli::ledger {
namespace {

const char* const kSteps[kSchemaVersion] = {
    // 1: the version, the blocks and the allocations; no two of either share a body.
    "CREATE TABLE kestrino_ledger (schema_version integer NOT NULL);"
    "INSERT INTO kestrino_ledger VALUES (1);"
    "CREATE TABLE kestrino_block (id bigserial PRIMARY KEY, tac text NOT NULL, first_body bigint NOT NULL,"
    " last_body bigint NOT NULL, note text NOT NULL, CHECK (first_body <= last_body),"
    " CONSTRAINT kestrino_block_no_overlap EXCLUDE USING gist (int8range(first_body, last_body, '[]') WITH &&));"
    "CREATE TABLE kestrino_allocation (id bigserial PRIMARY KEY, time text NOT NULL, tac text NOT NULL,"
    " first_body bigint NOT NULL, last_body bigint NOT NULL, count bigint NOT NULL, per_device integer NOT NULL,"
    " order_id text NOT NULL, note text NOT NULL, user_name text NOT NULL, host_name text NOT NULL, sha256 text,"
    " state text NOT NULL CHECK (state IN ('written', 'unwritten', 'recorded')),"
    " CHECK (count > 0 AND last_body = first_body + count - 1),"
    " CONSTRAINT kestrino_allocation_no_overlap"
    " EXCLUDE USING gist (int8range(first_body, last_body, '[]') WITH &&));",
    // 2: how each list was written, for export.
    "ALTER TABLE kestrino_allocation ADD COLUMN list text NOT NULL DEFAULT '{}';"
    "UPDATE kestrino_ledger SET schema_version = 2;",
};

class Result {
public:
    explicit Result(PGresult* result) : result_(result) {}
    ~Result() { PQclear(result_); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    int Rows() const { return PQntuples(result_); }
    std::string Text(int row, int column) const { return PQgetvalue(result_, row, column); }
    std::int64_t Int(int row, int column) const { return std::stoll(PQgetvalue(result_, row, column)); }

private:
    PGresult* result_;
};

// The passwords of a URI, to be kept out of every message.
std::vector<std::string> PasswordsOf(const std::string& uri) {
    std::vector<std::string> passwords;
    for (const auto& [begin, end] : PasswordSpans(uri)) {
        if (end > begin) passwords.push_back(uri.substr(begin, end - begin));
    }
    return passwords;
}

class Postgres {
public:
    explicit Postgres(const std::string& uri) : shown_(ShownLocation(uri)), passwords_(PasswordsOf(uri)) {
        // Defaults first: what the URI says overrides them.
        const char* keywords[] = {"connect_timeout", "application_name", "dbname", nullptr};
        const char* values[] = {"10", "kestrino-cli", uri.c_str(), nullptr};
        conn_ = PQconnectdbParams(keywords, values, 1);
        if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
            const std::string reason = Reason();
            PQfinish(conn_);
            throw ELedgerError("Cannot reach ledger \"" + shown_ + "\". " + reason);
        }
        PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
    }
    ~Postgres() { PQfinish(conn_); }
    Postgres(const Postgres&) = delete;
    Postgres& operator=(const Postgres&) = delete;

    const std::string& Shown() const { return shown_; }

    // Runs a statement without parameters (the schema's, BEGIN, COMMIT).
    void Exec(const char* sql) { Check(PQexec(conn_, sql)); }

    // Runs a named statement with text parameters, preparing it on first use.
    std::unique_ptr<Result> Run(const char* name, const char* sql, const std::vector<std::string>& params) {
        if (prepared_.count(name) == 0) {
            Check(PQprepare(conn_, name, sql, static_cast<int>(params.size()), nullptr));
            prepared_[name] = true;
        }
        std::vector<const char*> values;
        for (const std::string& p : params) values.push_back(p.c_str());
        return Check(PQexecPrepared(conn_, name, static_cast<int>(values.size()), values.data(), nullptr, nullptr, 0));
    }

    // Ends a failed transaction; on a lost connection there is nothing to end.
    void Rollback() { PQclear(PQexec(conn_, "ROLLBACK")); }

private:
    std::string Reason() const {
        std::string text = conn_ ? PQerrorMessage(conn_) : "out of memory";
        for (const std::string& password : passwords_) {
            for (std::size_t at = text.find(password); at != std::string::npos; at = text.find(password, at)) {
                text.replace(at, password.size(), "***");
            }
        }
        // libpq's messages run over several lines; a message here is one.
        std::string line;
        for (const char c : text) {
            const bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
            if (!blank) {
                line += c;
            } else if (!line.empty() && line.back() != ' ') {
                line += ' ';
            }
        }
        return ReasonText(line);
    }

    std::unique_ptr<Result> Check(PGresult* raw) {
        auto result = std::make_unique<Result>(raw);
        const ExecStatusType status = raw ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
        if (PQstatus(conn_) != CONNECTION_OK) {
            throw ELedgerError("Lost the connection to ledger \"" + shown_ + "\". " + Reason());
        }
        const char* state = raw ? PQresultErrorField(raw, PG_DIAG_SQLSTATE) : nullptr;
        const std::string code = state ? state : "";
        // A transaction the server ended for a conflict with another: tried again.
        if (code == "40001" || code == "40P01") throw TransactionConflict{};
        if (code == "23P01") {
            throw ELedgerError("The range overlaps one already in ledger \"" + shown_ + "\" (refused by the database)");
        }
        if (code == "42P01") ThrowNoLedgerYet(shown_);
        throw ELedgerError("Ledger \"" + shown_ + "\": " + Reason());
    }

    std::string shown_;
    std::vector<std::string> passwords_;
    PGconn* conn_ = nullptr;
    std::map<std::string, bool> prepared_;
};

std::string Number(std::int64_t v) { return std::to_string(v); }

constexpr const char* kAllocationColumns =
    "SELECT id, time, tac, first_body, count, per_device, order_id, note, user_name, host_name,"
    " coalesce(sha256, ''), state, list FROM kestrino_allocation ";

std::vector<Allocation> ReadAllocations(const Result& r) {
    std::vector<Allocation> all;
    for (int i = 0; i < r.Rows(); ++i) {
        Allocation a;
        a.id = r.Int(i, 0);
        a.time = r.Text(i, 1);
        a.tac = r.Text(i, 2);
        a.first = r.Int(i, 3);
        a.count = r.Int(i, 4);
        a.perDevice = static_cast<std::int32_t>(r.Int(i, 5));
        a.order = r.Text(i, 6);
        a.note = r.Text(i, 7);
        a.user = r.Text(i, 8);
        a.host = r.Text(i, 9);
        a.sha256 = r.Text(i, 10);
        a.state = r.Text(i, 11);
        a.list = r.Text(i, 12);
        all.push_back(std::move(a));
    }
    return all;
}

std::vector<Block> ReadBlocks(const Result& r) {
    std::vector<Block> blocks;
    for (int i = 0; i < r.Rows(); ++i) blocks.push_back({r.Int(i, 0), r.Text(i, 1), r.Int(i, 2), r.Int(i, 3), r.Text(i, 4)});
    return blocks;
}

class PostgresTransaction final : public LedgerTransaction {
public:
    explicit PostgresTransaction(Postgres& db) : db_(db) {}

    std::vector<Block> Blocks(const std::optional<std::string>& tac, bool lock) override {
        // Locked in id order, so that two allocations never wait for each other in a circle.
        if (tac) {
            return ReadBlocks(*db_.Run(lock ? "blocks_of_tac_locked" : "blocks_of_tac",
                                       lock ? "SELECT id, tac, first_body, last_body, note FROM kestrino_block"
                                              " WHERE tac = $1 ORDER BY id FOR UPDATE"
                                            : "SELECT id, tac, first_body, last_body, note FROM kestrino_block"
                                              " WHERE tac = $1 ORDER BY id",
                                       {*tac}));
        }
        return ReadBlocks(*db_.Run(lock ? "blocks_locked" : "blocks",
                                   lock ? "SELECT id, tac, first_body, last_body, note FROM kestrino_block"
                                          " ORDER BY id FOR UPDATE"
                                        : "SELECT id, tac, first_body, last_body, note FROM kestrino_block ORDER BY id",
                                   {}));
    }
    std::vector<Block> BlocksOverlapping(std::int64_t first, std::int64_t last) override {
        return ReadBlocks(*db_.Run("blocks_overlapping",
                                   "SELECT id, tac, first_body, last_body, note FROM kestrino_block"
                                   " WHERE first_body <= $2 AND last_body >= $1 ORDER BY first_body",
                                   {Number(first), Number(last)}));
    }
    std::vector<Span> Taken(std::int64_t first, std::int64_t last) override {
        const auto r = db_.Run("taken",
                               "SELECT first_body, last_body FROM kestrino_allocation"
                               " WHERE first_body <= $2 AND last_body >= $1 ORDER BY first_body",
                               {Number(first), Number(last)});
        std::vector<Span> spans;
        for (int i = 0; i < r->Rows(); ++i) spans.push_back({r->Int(i, 0), r->Int(i, 1)});
        return spans;
    }
    std::int64_t InsertBlock(const Block& b) override {
        return db_
            .Run("insert_block",
                 "INSERT INTO kestrino_block (tac, first_body, last_body, note) VALUES ($1, $2, $3, $4) RETURNING id",
                 {b.tac, Number(b.first), Number(b.last), b.note})
            ->Int(0, 0);
    }
    std::int64_t InsertAllocation(const Allocation& a) override {
        return db_
            .Run("insert_allocation",
                 "INSERT INTO kestrino_allocation (time, tac, first_body, last_body, count, per_device, order_id,"
                 " note, user_name, host_name, sha256, state, list)"
                 " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, NULLIF($11, ''), $12, $13) RETURNING id",
                 {a.time, a.tac, Number(a.first), Number(a.Last()), Number(a.count), Number(a.perDevice), a.order,
                  a.note, a.user, a.host, a.sha256, a.state, a.list})
            ->Int(0, 0);
    }
    void Confirm(std::int64_t id, const std::string& sha256) override {
        db_.Run("confirm",
                "UPDATE kestrino_allocation SET sha256 = $2, state = 'written' WHERE id = $1 AND state <> 'recorded'",
                {Number(id), sha256});
    }
    std::vector<Allocation> Allocations(const std::optional<std::string>& tac) override {
        if (tac) {
            return ReadAllocations(
                *db_.Run("allocations_of_tac", (std::string(kAllocationColumns) + "WHERE tac = $1 ORDER BY id").c_str(),
                         {*tac}));
        }
        return ReadAllocations(*db_.Run("allocations", (std::string(kAllocationColumns) + "ORDER BY id").c_str(), {}));
    }
    std::optional<Allocation> FindAllocation(std::int64_t id) override {
        auto all = ReadAllocations(
            *db_.Run("allocation", (std::string(kAllocationColumns) + "WHERE id = $1").c_str(), {Number(id)}));
        if (all.empty()) return std::nullopt;
        return all.front();
    }

private:
    Postgres& db_;
};

// The version in the database; 0 when it holds no ledger.
int FoundVersion(Postgres& db) {
    const auto table = db.Run("has_ledger", "SELECT to_regclass('kestrino_ledger') IS NOT NULL", {});
    if (table->Text(0, 0) != "t") return 0;
    const auto version = db.Run("schema_version", "SELECT schema_version FROM kestrino_ledger", {});
    if (version->Rows() != 1) ThrowNotALedger(db.Shown());
    return static_cast<int>(version->Int(0, 0));
}

class PostgresStore final : public LedgerStore {
public:
    PostgresStore(const std::string& uri, bool initializing) : db_(uri) {
        if (initializing) return;
        const int version = FoundVersion(db_);
        if (version == 0) ThrowNoLedgerYet(db_.Shown());
        if (version > kSchemaVersion) ThrowNewerSchema(db_.Shown(), version);
        if (version < kSchemaVersion) ThrowOlderSchema(db_.Shown(), version);
    }

    SchemaChange Initialize() override {
        SchemaChange change;
        Write([&](LedgerTransaction&) {
            // Two stations initialising at once: the second waits and finds the first's schema.
            db_.Run("init_lock", "SELECT pg_advisory_xact_lock(7100117)", {});
            change.from = FoundVersion(db_);
            if (change.from > kSchemaVersion) ThrowNewerSchema(db_.Shown(), change.from);
            for (int v = change.from; v < kSchemaVersion; ++v) db_.Exec(kSteps[v]);
            change.to = kSchemaVersion;
        });
        return change;
    }

    void Write(const std::function<void(LedgerTransaction&)>& work) override { Run(work); }
    void Read(const std::function<void(LedgerTransaction&)>& work) override { Run(work); }

private:
    void Run(const std::function<void(LedgerTransaction&)>& work) {
        RetryOnConflict(
            [&] {
                db_.Exec("BEGIN");
                try {
                    PostgresTransaction transaction(db_);
                    work(transaction);
                    db_.Exec("COMMIT");
                } catch (...) {
                    db_.Rollback();
                    throw;
                }
            },
            "Ledger \"" + db_.Shown() + "\" kept refusing the transaction");
    }

    Postgres db_;
};

}  // namespace

std::unique_ptr<LedgerStore> OpenPostgresStore(const std::string& uri, bool initializing) {
    return std::make_unique<PostgresStore>(uri, initializing);
}

}  // namespace kestrino::cli::ledger
