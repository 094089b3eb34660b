// list -o: the file is replaced by a whole list or not at all.

#include "tests/cli/CliRunner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace kestrino::cli::test {
namespace {
namespace fs = std::filesystem;

const std::string kOld = "old content\r\n";
const std::string kTwoLines = "IMEI\r\n358511020000026\r\n358511020000034\r\n";

TEST(CliOutputFile, WritesANewFileAndReplacesAnOldOneLeavingNothingElse) {
    ScratchFolder folder;
    const fs::path file = folder.path() / "list.txt";
    Outcome got = RunCli({"list", "35851102000002", "2", "-o", "list.txt"}, "", folder.path());
    EXPECT_EQ(got.code, 0) << got.err;
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(ReadBytes(file), kTwoLines);

    WriteBytes(file, kOld);
    got = RunCli({"list", "35851102000002", "10", "--output", file.string()});
    EXPECT_EQ(got.code, 0) << got.err;
    EXPECT_EQ(ReadBytes(file).size(), 176u);
    EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"list.txt"});
}

// Runs that fail keep the old file byte for byte and leave no temporary file.
TEST(CliOutputFile, AFailingRunLeavesTheOldFileAsItWas) {
    const std::vector<std::vector<std::string>> failing = {
        {"list", "9223372036854775807", "5", "-o", "list.txt"},  // fails after its first line
        {"list", "9999999999999", "5", "-o", "list.txt"},        // a short body
        {"list", "12A", "5", "-o", "list.txt"},                  // not a number
    };
    for (const auto& args : failing) {
        ScratchFolder folder;
        WriteBytes(folder.path() / "list.txt", kOld);
        const Outcome got = RunCli(args, "", folder.path());
        EXPECT_EQ(got.code, 1) << args[1];
        EXPECT_EQ(got.out, "");
        EXPECT_EQ(ReadBytes(folder.path() / "list.txt"), kOld) << args[1];
        EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"list.txt"}) << args[1];
    }
}

TEST(CliOutputFile, AFolderOrAMissingFolderIsReportedAndNothingIsLeft) {
    ScratchFolder folder;
    fs::create_directory(folder.path() / "sub");
    Outcome got = RunCli({"list", "35851102000002", "2", "-o", "sub"}, "", folder.path());
    EXPECT_EQ(got.code, 1);
    EXPECT_EQ(got.err.rfind("kestrino-cli: Cannot create file \"sub\". ", 0), 0u) << got.err;

    got = RunCli({"list", "35851102000002", "2", "-o", "nowhere/list.txt"}, "", folder.path());
    EXPECT_EQ(got.code, 1);
    EXPECT_EQ(got.err.rfind("kestrino-cli: Cannot create file \"nowhere/list.txt\". ", 0), 0u) << got.err;
    EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"sub"});
    EXPECT_TRUE(fs::is_empty(folder.path() / "sub"));
}

// A real full disk: the small file system the test run mounts (scripts/with-small-disk.sh), filled up first.
TEST(CliOutputFile, AFullDiskLeavesTheOldFileAsItWas) {
    const char* mount = std::getenv("KESTRINO_SMALL_DISK");
    if (!mount || !*mount) GTEST_SKIP() << "no small file system mounted for this run";
#ifdef _WIN32
    const fs::path folder = fs::path("Z:" + std::string(mount)).make_preferred();
#else
    const fs::path folder = mount;
#endif
    const fs::path file = folder / "old.txt";
    const fs::path filler = folder / "filler.bin";
    WriteBytes(file, kOld);
    {
        std::FILE* fill = std::fopen(filler.string().c_str(), "wb");
        ASSERT_NE(fill, nullptr);
        const std::string block(4096, 'x');
        while (std::fwrite(block.data(), 1, block.size(), fill) == block.size() && std::fflush(fill) == 0) {
        }
        std::fclose(fill);
    }
    // 20,000 lines, 340 KB: more than the whole file system.
    const Outcome got = RunCli({"list", "35851102000002", "20000", "-o", file.string()});
    fs::remove(filler);
    EXPECT_EQ(got.code, 1);
    EXPECT_EQ(got.err, "kestrino-cli: Stream write error." + std::string(kNl));
    EXPECT_EQ(ReadBytes(file), kOld);
    EXPECT_EQ(NamesIn(folder), std::vector<std::string>{"old.txt"}) << "no temporary file is left behind";
    fs::remove(file);
}

#ifndef _WIN32
// Ctrl+C while the list is written. Natively only: under Wine a console
// control event sent to the program never arrives, and the run would go on to
// its 36 GB.
TEST(CliOutputFile, CtrlCLeavesTheOldFileAsItWas) {
    ScratchFolder folder;
    WriteBytes(folder.path() / "list.txt", kOld);
    RunningCli cli({"list", "35851102000002", "2147483647", "--across-tac", "-o", "list.txt"}, folder.path());
    // Interrupted once its temporary file exists and has begun to fill.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool writing = false;
    while (!writing && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            std::error_code error;
            writing = writing || (entry.path().filename() != "list.txt" && fs::file_size(entry.path(), error) > 0);
        }
    }
    ASSERT_TRUE(writing) << "the list was not being written";
    cli.Interrupt();
    const Outcome got = cli.Wait();
    EXPECT_EQ(got.code, 130);
    EXPECT_EQ(got.err, "kestrino-cli: Interrupted." + std::string(kNl));
    EXPECT_EQ(ReadBytes(folder.path() / "list.txt"), kOld);
    EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"list.txt"});
}
#endif

}  // namespace
}  // namespace kestrino::cli::test
