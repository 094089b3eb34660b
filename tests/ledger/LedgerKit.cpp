#include "tests/ledger/LedgerKit.h"

#include "cli/ledger/Sha256.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

namespace kestrino::cli::test {
namespace fs = std::filesystem;

std::string SqlitePlace::NewLocation() { return (folder_.path() / ("ledger-" + std::to_string(++made_) + ".db")).string(); }

Outcome RunLedger(const std::string& location, std::vector<std::string> args) {
    args.push_back("--ledger");
    args.push_back(location);
    return RunCli(args);
}

ShownLedger Show(const std::string& location) {
    const Outcome got = RunLedger(location, {"ledger", "show", "--json"});
    EXPECT_EQ(got.code, 0) << got.err;
    ShownLedger shown;
    std::istringstream lines(got.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const nlohmann::json j = nlohmann::json::parse(line);
        if (j.contains("block")) {
            const auto& b = j["block"];
            shown.blocks.push_back({b["tac"], b["from"], b["to"], b["issued"], b["free"]});
        } else {
            const auto& a = j.at("allocation");
            ShownAllocation s;
            s.id = a["id"];
            s.count = a["count"];
            s.perDevice = a["per_device"];
            s.time = a["time"];
            s.tac = a["tac"];
            s.first = a["first"];
            s.last = a["last"];
            s.order = a["order"];
            s.note = a["note"];
            s.user = a["user"];
            s.host = a["host"];
            s.sha256 = a["sha256"].is_null() ? "" : a["sha256"].get<std::string>();
            s.state = a["state"];
            shown.allocations.push_back(s);
        }
    }
    return shown;
}

std::string NewLedgerWithBlock(LedgerPlace& place, const std::string& serials) {
    const std::string location = place.NewLocation();
    Outcome got = RunLedger(location, {"ledger", "init"});
    EXPECT_EQ(got.code, 0) << got.err;
    std::vector<std::string> add{"ledger", "add-tac", "35851102"};
    if (!serials.empty()) add.insert(add.end(), {"--serials", serials});
    got = RunLedger(location, add);
    EXPECT_EQ(got.code, 0) << got.err;
    return location;
}

std::string FileSha256(const fs::path& file) {
    ledger::Sha256 digest;
    digest.Add(ReadBytes(file));
    return digest.Hex();
}

std::int64_t AllocatedId(const std::string& out) {
    const std::string prefix = "allocation ";
    if (out.rfind(prefix, 0) != 0) return 0;
    return std::stoll(out.substr(prefix.size()));
}

namespace {

std::int64_t Body(const std::string& imei) { return std::stoll(imei.substr(0, 14)); }

// "w3-17.txt": the list of process 3's 18th run.
std::string ListName(int process, int run) {
    std::string name = "w";
    name += std::to_string(process);
    name += '-';
    name += std::to_string(run);
    name += ".txt";
    return name;
}

// The same for lists of devices with several IMEIs.
std::string CsvName(int process, int run) {
    std::string name = ListName(process, run);
    return name.replace(name.size() - 4, 4, ".csv");
}

std::string Worker(int process) {
    std::string name = "w";
    name += std::to_string(process);
    return name;
}

}  // namespace

void ExpectSoundLedger(const ShownLedger& ledger, std::int64_t blockFirst,
                       const std::map<std::int64_t, fs::path>& lists) {
    std::vector<ShownAllocation> sorted = ledger.allocations;
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::int64_t next = blockFirst;
    for (const ShownAllocation& a : sorted) {
        SCOPED_TRACE("allocation " + std::to_string(a.id) + " " + a.first + " to " + a.last);
        // One stretch from the block's start: neither an overlap nor a gap.
        EXPECT_EQ(Body(a.first), next);
        EXPECT_EQ(Body(a.last) - Body(a.first) + 1, a.count);
        next = Body(a.last) + 1;
        if (a.state == "written") {
            EXPECT_EQ(a.sha256.size(), 64u);
        } else {
            EXPECT_TRUE(a.state == "unwritten" || a.state == "recorded") << a.state;
            EXPECT_EQ(a.sha256, "");
        }
        const auto list = lists.find(a.id);
        if (list == lists.end()) continue;
        EXPECT_EQ(a.state, "written");
        EXPECT_EQ(FileSha256(list->second), a.sha256);
        // A header row, then one row per device from the first IMEI on.
        const std::string bytes = ReadBytes(list->second);
        const std::size_t header = bytes.find('\n') + 1;
        EXPECT_EQ(bytes.substr(0, bytes.find_first_of("\r\n")), a.perDevice == 1 ? "IMEI" : "IMEI1,IMEI2");
        EXPECT_EQ(bytes.substr(header, 15), a.first);
        EXPECT_EQ(static_cast<std::int64_t>(std::count(bytes.begin(), bytes.end(), '\n')), a.count / a.perDevice + 1);
    }
    for (const auto& [id, file] : lists) {
        EXPECT_TRUE(std::any_of(sorted.begin(), sorted.end(), [&](const auto& a) { return a.id == id; }))
            << "allocation " << id << " printed but not in the ledger";
    }
}

void RunCommandTable(LedgerPlace& place) {
    ScratchFolder folder;
    const std::string location = place.NewLocation();
    const auto file = [&](const char* name) { return (folder.path() / name).string(); };
    const std::string order = "O'1; DROP TABLE kestrino_block;--";
    const std::string note = "\"quoted\"; semi;colon, 'single' and ünïcode";
    struct Step {
        std::vector<std::string> args;
        int code;
        std::string expect;  // found in what it printed
    };
    const std::vector<Step> steps = {
        // No ledger yet.
        {{"ledger", "show"}, 1, "`kestrino-cli ledger init` creates"},
        {{"allocate", "1", "-o", file("x.txt")}, 1, "`kestrino-cli ledger init` creates"},
        {{"ledger", "init"}, 0, "Created ledger"},
        {{"ledger", "init"}, 0, "exists (schema version 2)"},
        // Blocks.
        {{"ledger", "add-tac", "35851102", "--serials", "000000-000999", "--note", note}, 0,
         "block 1: TAC 35851102 registered"},
        {{"ledger", "add-tac", "35851102", "--serials", "000500-001500"}, 1, "overlaps block 35851102 000000-000999"},
        {{"ledger", "add-tac", "35851102"}, 1, "overlaps block 35851102 000000-000999"},
        {{"ledger", "add-tac", "3585110"}, 1, "A TAC is 8 digits, not \"3585110\""},
        {{"ledger", "add-tac", "3585110X"}, 1, "A TAC is 8 digits"},
        {{"ledger", "add-tac", "35851103", "--serials", "000999-000100"}, 1, "--serials takes FROM-TO"},
        {{"ledger", "add-tac", "35851103", "--serials", "0-999999"}, 1, "--serials takes FROM-TO"},
        {{"ledger", "add-tac", "01234567"}, 0, "block 2: TAC 01234567 registered"},
        // Allocations and their refusals.
        {{"allocate", "10", "--tac", "99999999", "-o", file("x.txt")}, 1, "TAC 99999999 has no block"},
        {{"allocate", "0", "-o", file("x.txt")}, 1, "QUANTITY must be a whole number from 1 to 1000000"},
        {{"allocate", "1e3", "-o", file("x.txt")}, 1, "QUANTITY must be a whole number"},
        {{"allocate", "-5", "-o", file("x.txt")}, 1, "QUANTITY must be a whole number"},
        {{"allocate", "5", "--per-device", "0", "-o", file("x.txt")}, 1, "--per-device must be a whole number from 1 to 4"},
        {{"allocate", "5", "--per-device", "2", "-o", file("x.txt")}, 1, "a text list holds one IMEI a line"},
        {{"allocate", "5", "--svn", "99", "-o", file("x.txt")}, 1, "--svn 99 is reserved"},
        {{"allocate", "5", "--format", "pdf", "-o", file("x.txt")}, 2, "--format"},
        {{"allocate", "600000", "--per-device", "2", "-o", file("x.csv")}, 1, "a TAC holds 1000000"},
        {{"allocate", "5", "--order", "line\nbreak", "-o", file("x.txt")}, 1, "The order holds a control character"},
#ifndef _WIN32
        // Windows hands arguments over as UTF-16: no invalid bytes can arrive there.
        {{"allocate", "5", "--note", "\xff\xfe", "-o", file("x.txt")}, 1, "The note is not UTF-8 text"},
#endif
        {{"allocate", "10", "--order", order, "--note", note, "-o", file("a.txt")}, 0,
         "allocation 1: 10 IMEIs, 358511020000000 to 358511020000091"},
        {{"allocate", "3", "--per-device", "2", "--lf", "-o", file("b.csv")}, 0, "allocation 2: 6 IMEIs, 358511020000109"},
        {{"ledger", "record", "35851102000100", "50", "--order", order}, 0, "recorded range 3: 50 IMEIs, 358511020001008"},
        {{"ledger", "record", "35851102000120", "5"}, 1, "overlaps IMEIs 358511020001008 to"},
        {{"ledger", "record", "35851102000000", "1"}, 1, "overlaps IMEIs 358511020000000 to"},
        {{"ledger", "record", "35851102999999", "2"}, 1, "would end in another TAC"},
        {{"ledger", "record", "3585110299999", "2"}, 1, "FIRST is the 14-digit body"},
        {{"allocate", "990", "--tac", "35851102", "-o", file("c.txt")}, 1,
         "No free stretch of 990 IMEIs in TAC 35851102 of ledger"},
        {{"allocate", "990", "--tac", "35851102", "-o", file("c.txt")}, 1, "The largest that would fit: 850 IMEIs"},
        {{"allocate", "500", "--per-device", "2", "--tac", "35851102", "-o", file("c.csv")}, 1,
         "The largest that would fit: 425 devices of 2 IMEIs"},
        {{"allocate", "84", "-o", file("c.txt")}, 0, "allocation 4: 84 IMEIs, 35851102000016"},
        {{"allocate", "2", "--tac", "01234567", "-o", file("z.txt")}, 0, "allocation 5: 2 IMEIs, 012345670000004"},
        {{"allocate", "1", "--per-device", "2", "--svn", "07", "--tac", "01234567", "-o", file("w.xlsx")}, 0,
         "allocation 6: 2 IMEIs, 01234567000002"},
        // The lists again.
        {{"ledger", "export", "1", "-o", file("a2.txt")}, 0, "exported allocation 1"},
        {{"ledger", "export", "2", "-o", file("b2.txt")}, 0, "exported allocation 2"},
        {{"ledger", "export", "6", "-o", file("w2.xlsx")}, 0, "exported allocation 6"},
        {{"ledger", "export", "3", "-o", file("r.txt")}, 1, "was issued elsewhere"},
        {{"ledger", "export", "99", "-o", file("r.txt")}, 1, "has no allocation 99"},
        {{"ledger", "export", "x1", "-o", file("r.txt")}, 1, "An allocation's id is a number"},
        {{"ledger", "show", "--tac", "1234"}, 1, "A TAC is 8 digits"},
        {{"ledger", "show", "--tac", "01234567"}, 0, "block 01234567 000000-999999: 4 issued, 999996 free"},
        // Usage errors.
        {{"ledger", "frobnicate"}, 2, "A subcommand is required"},
        {{"ledger"}, 2, "A subcommand is required"},
        {{"allocate", "5"}, 2, "--output is required"},
    };
    for (const Step& step : steps) {
        std::string shown;
        for (const std::string& a : step.args) shown += a + " ";
        const Outcome got = RunLedger(location, step.args);
        EXPECT_EQ(got.code, step.code) << shown << "\n" << got.out << got.err;
        EXPECT_NE((got.out + got.err).find(step.expect), std::string::npos) << shown << "\n" << got.out << got.err;
    }

    // The lists are those of `list`, and export writes the same bytes again.
    EXPECT_EQ(ReadBytes(file("a.txt")), RunCli({"list", "35851102000000", "10"}).out);
    EXPECT_EQ(ReadBytes(file("b.csv")), RunCli({"list", "35851102000010", "3", "--per-device", "2", "--lf", "--format", "csv"}).out);
    EXPECT_EQ(ReadBytes(file("z.txt")), RunCli({"list", "01234567000000", "2"}).out);
    EXPECT_EQ(ReadBytes(file("a2.txt")), ReadBytes(file("a.txt")));
    // The format was fixed when the list was first written, whatever export's file is named.
    EXPECT_EQ(ReadBytes(file("b2.txt")), ReadBytes(file("b.csv")));
    EXPECT_EQ(ReadBytes(file("w2.xlsx")), ReadBytes(file("w.xlsx")));
    EXPECT_EQ(ReadBytes(file("w.xlsx")).substr(0, 2), "PK");
    EXPECT_FALSE(fs::exists(file("x.txt")));
    EXPECT_FALSE(fs::exists(file("r.txt")));

    const ShownLedger shown = Show(location);
    ASSERT_EQ(shown.blocks.size(), 2u);
    EXPECT_EQ(shown.blocks[0].issued, 150);
    EXPECT_EQ(shown.blocks[0].free, 850);
    ASSERT_EQ(shown.allocations.size(), 6u);
    // Quotes and semicolons come back exactly as given.
    EXPECT_EQ(shown.allocations[0].order, order);
    EXPECT_EQ(shown.allocations[0].note, note);
    EXPECT_EQ(shown.allocations[2].order, order);
    EXPECT_EQ(shown.allocations[2].state, "recorded");
    EXPECT_EQ(shown.allocations[1].perDevice, 2);
    EXPECT_EQ(shown.allocations[0].time.size(), 20u);
    EXPECT_EQ(shown.allocations[0].time.back(), 'Z');
    ShownLedger tac = shown;
    tac.allocations.resize(4);  // not the two in TAC 01234567
    ExpectSoundLedger(tac, 35851102000000, {{1, file("a.txt")}, {2, file("b2.txt")}, {4, file("c.txt")}});
}

int AllocationsPerProcess() {
    const char* each = std::getenv("KESTRINO_LEDGER_ALLOCATIONS");
    return each && std::atoi(each) > 0 ? std::atoi(each) : 100;
}

void RunConcurrentAllocations(LedgerPlace& place, int processes, int each) {
    ScratchFolder folder;
    // Room for most of the requests (75 IMEIs on average): the last ones meet a full block and are refused.
    const std::int64_t room = processes * each * 75 * 3 / 4;
    const std::string to = std::to_string(room - 1);
    const std::string location = NewLedgerWithBlock(place, "000000-" + std::string(6 - to.size(), '0') + to);
    std::mutex mutex;
    std::map<std::int64_t, fs::path> lists;
    std::vector<std::string> unexpected;
    int refused = 0;
    std::vector<std::thread> workers;
    for (int w = 0; w < processes; ++w) {
        workers.emplace_back([&, w] {
            std::minstd_rand random(static_cast<unsigned>(w + 1));
            for (int i = 0; i < each; ++i) {
                const fs::path list = folder.path() / CsvName(w, i);
                const std::string quantity = std::to_string(1 + random() % 100);
                const std::string perDevice = std::to_string(1 + random() % 2);
                const Outcome got = RunLedger(location, {"allocate", quantity, "--per-device", perDevice, "--order",
                                                         Worker(w), "-o", list.string()});
                std::lock_guard lock(mutex);
                if (got.code == 0 && AllocatedId(got.out) > 0) {
                    lists[AllocatedId(got.out)] = list;
                } else if (got.code == 1 && got.err.find("No free stretch") != std::string::npos) {
                    ++refused;
                } else {
                    unexpected.push_back(std::to_string(got.code) + ": " + got.out + got.err);
                }
            }
        });
    }
    for (std::thread& t : workers) t.join();
    EXPECT_TRUE(unexpected.empty()) << unexpected.size() << " runs ended otherwise, the first: " << unexpected.front();
    EXPECT_GT(lists.size(), 0u);
    const ShownLedger shown = Show(location);
    EXPECT_EQ(shown.allocations.size(), lists.size());
    ExpectSoundLedger(shown, 35851102000000, lists);
    std::int64_t issued = 0;
    for (const ShownAllocation& a : shown.allocations) issued += a.count;
    ASSERT_EQ(shown.blocks.size(), 1u);
    EXPECT_EQ(shown.blocks[0].issued, issued);
    std::cout << lists.size() << " allocations of " << issued << " IMEIs, " << refused << " refused for want of room\n";
}

#ifndef _WIN32
void RunKilledAllocations(LedgerPlace& place, int processes, int each) {
    ScratchFolder folder;
    const std::string location = NewLedgerWithBlock(place);
    std::mutex mutex;
    std::map<std::int64_t, fs::path> lists;
    std::vector<std::string> unexpected;
    std::atomic<int> killed{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < processes; ++w) {
        workers.emplace_back([&, w] {
            std::minstd_rand random(static_cast<unsigned>(100 + w));
            for (int i = 0; i < each; ++i) {
                const fs::path list = folder.path() / ListName(w, i);
                std::vector<std::string> args{"allocate", std::to_string(1 + random() % 3000), "-o", list.string(),
                                              "--ledger", location};
                RunningCli run(args, folder.path());
                std::this_thread::sleep_for(std::chrono::milliseconds(random() % 400));
                if (random() % 2 == 0) {
                    ++killed;
                    continue;  // the destructor sends SIGKILL
                }
                const Outcome got = run.Wait();
                std::lock_guard lock(mutex);
                if (got.code == 0 && AllocatedId(got.out) > 0) {
                    lists[AllocatedId(got.out)] = list;
                } else {
                    unexpected.push_back(std::to_string(got.code) + ": " + got.out + got.err);
                }
            }
        });
    }
    for (std::thread& t : workers) t.join();
    EXPECT_TRUE(unexpected.empty()) << unexpected.size() << " runs failed, the first: " << unexpected.front();
    ShownLedger shown = Show(location);
    ExpectSoundLedger(shown, 35851102000000, lists);

    // What a killed run left unwritten is written by export, and the ledger goes on.
    int unwritten = 0;
    for (const ShownAllocation& a : shown.allocations) {
        if (a.state != "unwritten") continue;
        ++unwritten;
        const fs::path list = folder.path() / ("export-" + std::to_string(a.id) + ".txt");
        const Outcome got = RunLedger(location, {"ledger", "export", std::to_string(a.id), "-o", list.string()});
        EXPECT_EQ(got.code, 0) << got.err;
        lists[a.id] = list;
    }
    const fs::path last = folder.path() / "last.txt";
    const Outcome got = RunLedger(location, {"allocate", "7", "-o", last.string()});
    ASSERT_EQ(got.code, 0) << got.err;
    lists[AllocatedId(got.out)] = last;
    shown = Show(location);
    ExpectSoundLedger(shown, 35851102000000, lists);
    for (const ShownAllocation& a : shown.allocations) EXPECT_EQ(a.state, "written") << a.id;
    std::cout << killed << " runs killed, " << unwritten << " allocations left unwritten, "
              << shown.allocations.size() << " in all\n";
}
#endif

}  // namespace kestrino::cli::test
