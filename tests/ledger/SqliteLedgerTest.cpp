// The ledger in SQLite files: the real program, the real files.

#include "cli/ledger/SqliteStore.h"
#include "tests/ledger/LedgerKit.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>

namespace kestrino::cli::test {
namespace {
namespace fs = std::filesystem;

// Runs statements on a ledger file as another program would.
void Execute(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

TEST(SqliteLedger, CommandsAndTheirRefusals) {
    SqlitePlace place;
    RunCommandTable(place);
}

TEST(SqliteLedger, FilesThatAreNoLedgerAreRefusedAndLeftAsTheyWere) {
    ScratchFolder folder;
    const std::string text = (folder.path() / "notes.txt").string();
    WriteBytes(text, "IMEI\r\n358511020000026\r\n");
    const std::string other = (folder.path() / "other.db").string();
    Execute(other, "CREATE TABLE customers (name TEXT); INSERT INTO customers VALUES ('x');");
    for (const std::string& location : {text, other}) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"ledger", "init"}, {"ledger", "show"}, {"allocate", "1", "-o", "x.txt"}}) {
            const Outcome got = RunLedger(location, args);
            EXPECT_EQ(got.code, 1) << location << " " << args[1];
            EXPECT_EQ(got.err, "kestrino-cli: \"" + location + "\" is not a ledger of kestrino-cli." + std::string(kNl))
                << args[1];
        }
    }
    EXPECT_EQ(ReadBytes(text), "IMEI\r\n358511020000026\r\n");
    EXPECT_EQ(NamesIn(folder.path()), (std::vector<std::string>{"notes.txt", "other.db"}));
}

TEST(SqliteLedger, ANewerSchemaIsRefusedAndAnOlderOneUpgradedByInit) {
    ScratchFolder folder;
    const std::string newer = (folder.path() / "newer.db").string();
    ASSERT_EQ(RunLedger(newer, {"ledger", "init"}).code, 0);
    Execute(newer, "UPDATE kestrino_ledger SET schema_version = 7");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"ledger", "init"}, {"ledger", "show"}}) {
        const Outcome got = RunLedger(newer, args);
        EXPECT_EQ(got.code, 1);
        EXPECT_NE(got.err.find("has schema version 7, newer than this program's 2; use a newer kestrino-cli"),
                  std::string::npos)
            << got.err;
    }

    // A ledger of version 1, with a block and an allocation in it.
    const std::string older = (folder.path() / "older.db").string();
    Execute(older, ledger::kSqliteSchemaSteps[0]);
    Execute(older,
            "INSERT INTO kestrino_block (tac, first_body, last_body, note) VALUES ('35851102', 35851102000000, "
            "35851102999999, 'old');"
            "INSERT INTO kestrino_allocation (time, tac, first_body, last_body, count, per_device, order_id, note,"
            " user_name, host_name, state) VALUES ('2025-01-01T00:00:00Z', '35851102', 35851102000000,"
            " 35851102000099, 100, 1, 'A', '', 'u', 'h', 'recorded');");
    Outcome got = RunLedger(older, {"allocate", "1", "-o", (folder.path() / "x.txt").string()});
    EXPECT_EQ(got.code, 1);
    EXPECT_NE(got.err.find("has schema version 1; `kestrino-cli ledger init` upgrades it to 2"), std::string::npos)
        << got.err;
    got = RunLedger(older, {"ledger", "init"});
    EXPECT_EQ(got.code, 0) << got.err;
    EXPECT_EQ(got.out, "Upgraded ledger \"" + older + "\" from schema version 1 to 2" + std::string(kNl));
    got = RunLedger(older, {"allocate", "5", "-o", (folder.path() / "x.txt").string()});
    EXPECT_EQ(got.code, 0) << got.err;
    EXPECT_NE(got.out.find("5 IMEIs, 358511020001008"), std::string::npos) << got.out;
    // Version 2's own guard: an overlap written past the program is refused by the file.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(older.c_str(), &db), SQLITE_OK);
    const int rc = sqlite3_exec(db,
                                "INSERT INTO kestrino_allocation (time, tac, first_body, last_body, count, per_device,"
                                " order_id, note, user_name, host_name, state) VALUES ('t', '35851102', 35851102000050,"
                                " 35851102000050, 1, 1, '', '', '', '', 'recorded')",
                                nullptr, nullptr, nullptr);
    EXPECT_EQ(rc, SQLITE_CONSTRAINT);
    sqlite3_close(db);
}

// A station returns what it wrote: some of the allocation missing, a foreign IMEI and a repeat among them.
TEST(SqliteLedger, ReconcileFindsMissingForeignAndRepeatedImeis) {
    SqlitePlace place;
    ScratchFolder folder;
    const std::string location = NewLedgerWithBlock(place);
    ASSERT_EQ(RunLedger(location, {"allocate", "1", "-o", (folder.path() / "first.txt").string()}).code, 0);
    ASSERT_EQ(RunLedger(location, {"allocate", "10", "-o", (folder.path() / "order.txt").string()}).code, 0);
    const std::string all = ReadBytes(folder.path() / "order.txt");
    // IMEIs 2 to 8 of 10, the second twice, and one of another TAC.
    std::string used = "IMEI\r\n";
    for (int line = 2; line <= 8; ++line) used += all.substr(6 + 17 * static_cast<std::size_t>(line - 1), 17);
    used += all.substr(6 + 17, 17);
    used += "358511030000008\r\n";
    WriteBytes(folder.path() / "used.txt", used);
    Outcome got = RunLedger(location, {"ledger", "reconcile", "2", (folder.path() / "used.txt").string()});
    EXPECT_EQ(got.code, 1) << got.err;
    EXPECT_NE(got.out.find("missing: 358511020000018 to 358511020000018 (1 IMEI)"), std::string::npos) << got.out;
    EXPECT_NE(got.out.find("missing: 358511020000091 to 358511020000109 (2 IMEIs)"), std::string::npos) << got.out;
    EXPECT_NE(got.out.find("358511030000008 is outside the expected IMEIs"), std::string::npos) << got.out;
    EXPECT_NE(got.out.find("used.txt:9: 358511020000026 already appeared at "), std::string::npos) << got.out;
    EXPECT_NE(got.err.find("3 missing"), std::string::npos) << got.err;

    got = RunLedger(location, {"ledger", "reconcile", "2", (folder.path() / "order.txt").string()});
    EXPECT_EQ(got.code, 0) << got.out << got.err;
    got = RunLedger(location, {"ledger", "reconcile", "9", (folder.path() / "order.txt").string()});
    EXPECT_EQ(got.code, 1);
    EXPECT_NE(got.err.find("has no allocation 9"), std::string::npos) << got.err;
}

#ifndef _WIN32
TEST(SqliteLedger, EightProcessesAllocatingAtOnce) {
    SqlitePlace place;
    RunConcurrentAllocations(place, 8, AllocationsPerProcess());
}

TEST(SqliteLedger, ProcessesKilledAtRandomMoments) {
    SqlitePlace place;
    RunKilledAllocations(place, 4, 20);
}
#endif

// A real full disk under the ledger: the small file system the test run mounts.
TEST(SqliteLedger, AFullDiskRecordsNothingAndKeepsTheLedger) {
    const char* mount = std::getenv("KESTRINO_SMALL_DISK");
    if (!mount || !*mount) GTEST_SKIP() << "no small file system mounted for this run";
#ifdef _WIN32
    const fs::path disk = fs::path("Z:" + std::string(mount)).make_preferred();
#else
    const fs::path disk = mount;
#endif
    ScratchFolder folder;
    const fs::path location = disk / "ledger.db";
    const fs::path filler = disk / "filler.bin";
    std::error_code ignored;
    fs::remove(location, ignored);
    const std::string ledger = location.string();
    ASSERT_EQ(RunLedger(ledger, {"ledger", "init"}).code, 0);
    ASSERT_EQ(RunLedger(ledger, {"ledger", "add-tac", "35851102"}).code, 0);
    ASSERT_EQ(RunLedger(ledger, {"allocate", "3", "-o", (folder.path() / "a.txt").string()}).code, 0);
    {
        // Every byte left taken.
        std::FILE* f = std::fopen(filler.string().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const std::string block(4096, 'x');
        while (std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0) {
        }
        std::fclose(f);
        f = std::fopen(filler.string().c_str(), "ab");
        while (f && std::fputc('x', f) != EOF && std::fflush(f) == 0) {
        }
        if (f) std::fclose(f);
    }
    for (int i = 0; i < 3; ++i) {
        const Outcome got = RunLedger(ledger, {"allocate", "5", "-o", (folder.path() / "b.txt").string()});
        EXPECT_EQ(got.code, 1) << got.out;
        EXPECT_NE(got.err.find("Cannot write ledger \"" + ledger + "\""), std::string::npos) << got.err;
    }
    EXPECT_FALSE(fs::exists(folder.path() / "b.txt"));
    fs::remove(filler);
    const ShownLedger shown = Show(ledger);
    ASSERT_EQ(shown.allocations.size(), 1u);
    ExpectSoundLedger(shown, 35851102000000, {{1, folder.path() / "a.txt"}});
    const Outcome got = RunLedger(ledger, {"allocate", "5", "-o", (folder.path() / "b.txt").string()});
    EXPECT_EQ(got.code, 0) << got.err;
    EXPECT_NE(got.out.find("allocation 2: 5 IMEIs, 358511020000034"), std::string::npos) << got.out;
    fs::remove(location, ignored);
    fs::remove(location.string() + "-wal", ignored);
    fs::remove(location.string() + "-shm", ignored);
}

}  // namespace
}  // namespace kestrino::cli::test
