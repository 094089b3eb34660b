// list -o and standard output against what the system can do to them, on
// Linux: devices and descriptors, write failures of help and version text,
// signals, another user's file, a mounted file, a read-only folder.
#ifndef _WIN32
#include "tests/cli/CliRunner.h"
#include "tests/cli/Writers.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrino::cli::test {
namespace {
namespace fs = std::filesystem;

const std::string kOld = "old content\r\n";
const std::string kThree = "IMEI\r\n358511020000026\r\n358511020000034\r\n358511020000042\r\n";

// Runs a bash script in folder with $CLI set; its exit code.
int Bash(const std::string& script, const fs::path& folder) {
    const std::string command = "cd '" + folder.string() + "' && CLI='" KESTRINO_CLI_PATH "' bash -c '" + script + "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a shell command as root, for what only root may set up; false when that cannot be done.
bool AsRoot(const std::string& command) { return ::geteuid() == 0 && std::system((command + " 2>/dev/null").c_str()) == 0; }

TEST(CliOutputSystem, ADeviceOrDescriptorIsWrittenInPlaceAppendingWhereItWasOpenedSo) {
    struct Row {
        const char* what;
        const char* script;  // run in a folder holding log.txt with the old bytes
        const char* log;     // what log.txt then holds
    };
    const std::string appended = kOld + kThree;
    const Row rows[] = {
        {"-o /dev/stdout >> log.txt", "$CLI list 35851102000002 3 -o /dev/stdout >> log.txt", appended.c_str()},
        {"-o /dev/stderr 2>> log.txt", "$CLI list 35851102000002 3 -o /dev/stderr 2>> log.txt", appended.c_str()},
        {"-o /dev/fd/1 >> log.txt", "$CLI list 35851102000002 3 -o /dev/fd/1 >> log.txt", appended.c_str()},
        {"-o /dev/stdout > log.txt", "$CLI list 35851102000002 3 -o /dev/stdout > log.txt", kThree.c_str()},
        {"-o /dev/null", "$CLI list 35851102000002 3 -o /dev/null", kOld.c_str()},
        {"-o a FIFO", "mkfifo pipe && { cat pipe >> log.txt & } && $CLI list 35851102000002 3 -o pipe && wait && rm pipe",
         appended.c_str()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ScratchFolder folder;
        WriteBytes(folder.path() / "log.txt", kOld);
        EXPECT_EQ(Bash(row.script, folder.path()), 0);
        EXPECT_EQ(ReadBytes(folder.path() / "log.txt"), row.log);
        EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"log.txt"});
        EXPECT_FALSE(fs::is_symlink(folder.path() / "log.txt"));
    }
}

// Every standard output that refuses the text, with SIGPIPE ignored as a
// script may leave it: a message naming what failed and why, exit code 1.
TEST(CliOutputSystem, AStandardOutputThatFailsIsReportedForHelpAndVersionAlike) {
    struct Row {
        const char* what;
        const char* run;  // $RUN stands for the command and its arguments
        const char* reason;
    };
    const Row rows[] = {
        {"a full device", "$RUN > /dev/full", "No space left on device"},
        {"a closed standard output", "$RUN >&-", "Bad file descriptor"},
        {"a pipe whose reader has gone", "(sleep 0.3; $RUN) | true", "Broken pipe"},
    };
    const std::vector<std::string> commands = {"--help", "--version", "list -h", "list --help", "last 35851102000002 5",
                                               "list 35851102000002 100000"};
    for (const Row& row : rows) {
        for (const std::string& command : commands) {
            SCOPED_TRACE(std::string(row.what) + ": " + command);
            ScratchFolder folder;
            std::string run = row.run;
            run.replace(run.find("$RUN"), 4, "{ $CLI " + command + " 2>err; echo $? >code; }");
            Bash("trap \"\" PIPE; " + run, folder.path());
            EXPECT_EQ(ReadBytes(folder.path() / "code"), "1\n");
            EXPECT_EQ(ReadBytes(folder.path() / "err"),
                      "kestrino-cli: Cannot write to standard output. " + std::string(row.reason) + ".\n");
        }
    }
}

// nohup and a script's background jobs start the program with these signals
// ignored: the run goes on to its end.
TEST(CliOutputSystem, SignalsIgnoredAtStartStayIgnored) {
    constexpr int kLines = 2000000;
    for (const int signal : {SIGHUP, SIGINT}) {
        SCOPED_TRACE(strsignal(signal));
        ScratchFolder folder;
        WriteBytes(folder.path() / "list.txt", kOld);
        struct sigaction ignore {}, before {};
        ignore.sa_handler = SIG_IGN;
        sigaction(signal, &ignore, &before);
        RunningCli cli({"list", "35851102000002", std::to_string(kLines), "--across-tac", "-o", "list.txt"}, folder.path());
        sigaction(signal, &before, nullptr);
        const long writer = WaitForWriter(folder.path());
        ASSERT_NE(writer, 0) << "the list was not being written";
        ::kill(static_cast<pid_t>(writer), signal);
        const Outcome got = cli.Wait();
        EXPECT_EQ(got.code, 0) << got.err;
        EXPECT_EQ(fs::file_size(folder.path() / "list.txt"), 6u + 17u * kLines);
        EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"list.txt"});
    }
}

// Whatever ends the process while it writes, even SIGKILL, the folder then
// holds the old file and nothing else.
TEST(CliOutputSystem, NoTemporaryFileOutlivesASignal) {
    for (const int signal : {SIGKILL, SIGQUIT, SIGUSR1, SIGALRM, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        ScratchFolder folder;
        WriteBytes(folder.path() / "list.txt", kOld);
        RunningCli cli({"list", "35851102000002", "2147483647", "--across-tac", "-o", "list.txt"}, folder.path());
        const long writer = WaitForWriter(folder.path());
        ASSERT_NE(writer, 0) << "the list was not being written";
        ::kill(static_cast<pid_t>(writer), signal);
        const Outcome got = cli.Wait();
        EXPECT_NE(got.code, 0);
        EXPECT_EQ(ReadBytes(folder.path() / "list.txt"), kOld);
        EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"list.txt"});
    }
}

TEST(CliOutputSystem, AnotherUsersFileKeepsItsOwnerGroupAndMode) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    ScratchFolder folder;
    const fs::path file = folder.path() / "list.txt";
    WriteBytes(file, kOld);
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);  // nobody, nogroup
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    const Outcome got = RunCli({"list", "35851102000002", "3", "-o", file.string()});
    EXPECT_EQ(got.code, 0) << got.err;
    EXPECT_EQ(ReadBytes(file), kThree);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

// Mounted over another file (docker run -v file:file), a file cannot be
// replaced: said before the work, not after it.
TEST(CliOutputSystem, AMountedFileIsRefusedBeforeTheListIsBuilt) {
    ScratchFolder folder;
    const fs::path file = folder.path() / "list.txt";
    const fs::path source = folder.path() / "source.txt";
    WriteBytes(file, kOld);
    WriteBytes(source, kOld);
    if (!AsRoot("mount --bind '" + source.string() + "' '" + file.string() + "'")) {
        GTEST_SKIP() << "needs root and the right to mount";
    }
    // A long run: the mount is reported at once, not once the list is built.
    const Outcome got = RunCli({"list", "35851102000002", "2000000", "--across-tac", "-o", file.string()});
    AsRoot("umount '" + file.string() + "'");
    EXPECT_EQ(got.code, 1);
    EXPECT_EQ(got.err, "kestrino-cli: Cannot create file \"" + file.string() + "\". Device or resource busy.\n");
    EXPECT_EQ(ReadBytes(file), kOld);
    EXPECT_EQ(NamesIn(folder.path()), (std::vector<std::string>{"list.txt", "source.txt"}));
}

TEST(CliOutputSystem, AReadOnlyFolderIsRefusedAndTheOldFileKept) {
    ScratchFolder scratch;
    const fs::path folder = scratch.path() / "ro";
    fs::create_directory(folder);
    const fs::path file = folder / "list.txt";
    WriteBytes(file, kOld);
    std::string reason = "Permission denied";
    bool mounted = false;
    if (::geteuid() == 0) {
        // Root writes into any folder: a read-only mount refuses even root.
        const std::string dir = "'" + folder.string() + "'";
        mounted = AsRoot("mount --bind " + dir + " " + dir + " && mount -o remount,ro,bind " + dir);
        if (!mounted) GTEST_SKIP() << "root cannot be refused without the right to mount";
        reason = "Read-only file system";
    } else {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    }
    const Outcome got = RunCli({"list", "35851102000002", "3", "-o", file.string()});
    if (mounted) AsRoot("umount '" + folder.string() + "'");
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(got.code, 1);
    EXPECT_EQ(got.err, "kestrino-cli: Cannot create file \"" + file.string() + "\". " + reason + ".\n");
    EXPECT_EQ(ReadBytes(file), kOld);
    EXPECT_EQ(NamesIn(folder), std::vector<std::string>{"list.txt"});
}

}  // namespace
}  // namespace kestrino::cli::test
#endif
