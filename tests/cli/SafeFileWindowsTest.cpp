// Placing a finished list over an old file on Windows, when the replace fails
// half-way. A real disk seldom does that, so the two calls that place the file
// are replaced here, through the file layer's calls, by ones that fail as
// ReplaceFileW documents. And a process ended by force while it writes.

#include "cli/Errors.h"
#include "cli/SafeFile.h"
#include "tests/cli/CliRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kestrino::cli::test {
namespace {
namespace fs = std::filesystem;

const std::string kOld = "old content\r\n";
const std::string kNew = "IMEI\r\n358511020000026\r\n";

// What the fake calls do, set by each test.
struct Faults {
    DWORD replaceError = 0;        // ReplaceFileW fails with it
    bool replaceMovesOld = false;  // ... after moving the old file to the backup name
    bool moveFails = false;        // MoveFileExW then fails too
};
Faults faults;

BOOL WINAPI FakeReplace(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD, LPVOID, LPVOID) {
    (void)replacement;
    if (faults.replaceMovesOld) MoveFileExW(replaced, backup, 0);
    SetLastError(faults.replaceError);
    return FALSE;
}

BOOL WINAPI FakeMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
    if (faults.moveFails) {
        SetLastError(ERROR_WRITE_PROTECT);
        return FALSE;
    }
    return MoveFileExW(from, to, flags);
}

class SafeFilePlacing : public ::testing::Test {
protected:
    void SetUp() override {
        faults = {};
        calls.replaceFile = &FakeReplace;
        calls.moveFile = &FakeMove;
        WriteBytes(file, kOld);
    }

    // The message of the failed Commit, "" when it succeeded.
    std::string Save() {
        try {
            SafeFile out(file.string(), calls);
            out.Write(kNew);
            out.Commit();
        } catch (const Exception& e) {
            return e.Message();
        }
        return "";
    }

    fileio::FileSystemCalls calls;
    ScratchFolder folder;
    fs::path file = folder.path() / "list.txt";
};

TEST_F(SafeFilePlacing, OldFileStillInPlace_NewOneGoes) {
    for (const DWORD error : {DWORD{ERROR_UNABLE_TO_REMOVE_REPLACED}, DWORD{ERROR_UNABLE_TO_MOVE_REPLACEMENT}}) {
        faults.replaceError = error;
        EXPECT_EQ(Save().rfind("Cannot create file \"" + file.string() + "\". ", 0), 0u) << error;
        EXPECT_EQ(ReadBytes(file), kOld) << error;
        EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"list.txt"}) << error;
    }
}

TEST_F(SafeFilePlacing, OldFileMovedAside_NewOneIsMovedIn) {
    faults = {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, true, false};
    EXPECT_EQ(Save(), "");
    EXPECT_EQ(ReadBytes(file), kNew);
    EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"list.txt"});
}

TEST_F(SafeFilePlacing, OldFileMovedAside_NeitherCanBeMovedBack_BothAreKeptAndNamed) {
    faults = {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, true, true};
    const std::string message = Save();
    EXPECT_EQ(message.rfind("Cannot create file \"" + file.string() + "\". ", 0), 0u) << message;
    const std::vector<std::string> names = NamesIn(folder.path());
    ASSERT_EQ(names.size(), 2u);
    for (const std::string& name : names) {
        const std::string bytes = ReadBytes(folder.path() / name);
        const std::string kept = (bytes == kNew ? "The new list was kept in \"" : "The old file was kept in \"") +
                                 (folder.path() / name).string() + "\"";
        EXPECT_TRUE(bytes == kNew || bytes == kOld) << name;
        EXPECT_NE(message.find(kept), std::string::npos) << message;
    }
}

TEST_F(SafeFilePlacing, AFileHeldOpenElsewhereIsReportedBeforeWriting) {
    const HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const Outcome got = RunCli({"list", "35851102000002", "2", "-o", file.string()});
    CloseHandle(held);
    EXPECT_EQ(got.code, 1);
    EXPECT_EQ(got.err.rfind("kestrino-cli: Cannot create file \"" + file.string() + "\". ", 0), 0u) << got.err;
    EXPECT_EQ(ReadBytes(file), kOld);
    EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"list.txt"});
}

// TerminateProcess, and SIGTERM or SIGKILL under Wine: the system removes the
// temporary with the process's handles.
TEST(SafeFileEnded, NoTemporaryFileOutlivesAProcessEndedByForce) {
    ScratchFolder folder;
    const fs::path file = folder.path() / "list.txt";
    WriteBytes(file, kOld);
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + (fs::path(std::wstring(self, n)).parent_path() / L"kestrino-cli.exe").wstring() +
                           L"\" list 35851102000002 2147483647 --across-tac -o \"" + file.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup, &process));
    // Ended once its temporary has begun to fill.
    bool writing = false;
    for (int i = 0; i < 1000 && !writing; ++i) {
        Sleep(20);
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            std::error_code error;
            writing = writing || (entry.path().filename() != "list.txt" && fs::file_size(entry.path(), error) > 0);
        }
    }
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 20000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_TRUE(writing) << "the list was not being written";
    for (int i = 0; i < 100 && NamesIn(folder.path()).size() > 1; ++i) Sleep(20);
    EXPECT_EQ(ReadBytes(file), kOld);
    EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"list.txt"});
}

}  // namespace
}  // namespace kestrino::cli::test
