// Saving: the targets kestrino-cli meets too, a page the code page cannot
// hold, over an existing file when the replace fails, and at the path length
// limit: through the real menu item, dialog and error box.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/fileio/SaveCases.h"
#include "tests/ui/UiHarness.h"
#include "ui/FileSave.h"
#include "ui/WinText.h"

namespace kestrino::test {
namespace {

const char kOld[] = "old content\r\n";
const char kNewList[] =
    "IMEI\r\n358511020000026\r\n358511020000034\r\n358511020000042\r\n358511020000059\r\n358511020000067\r\n"
    "358511020000075\r\n358511020000083\r\n358511020000091\r\n358511020000109\r\n358511020000117\r\n";

// What a failing replace did to the folder before it returned its error, as
// the system's documentation describes the outcomes.
enum class Effect {
    kNothing,           // both files keep their names
    kOldDeleted,        // no backup: the old file is gone
    kOldToBackup,       // the old file is under the backup name
    kOldToBackupTaken,  // likewise, and a folder has taken the target's name
};

// The injected replace: the first `failures` calls fail as the row says, the
// later ones are the real replace. It notes the names it was given.
struct Injected {
    Effect effect = Effect::kNothing;
    DWORD error = 0;
    int failures = 0;
    int calls = 0;
    std::wstring replacement;  // without the extended-path prefix
    std::wstring backup;
} injected;

std::wstring Plain(LPCWSTR path) {
    const std::wstring s = path ? path : L"";
    return s.rfind(L"\\\\?\\", 0) == 0 ? s.substr(4) : s;
}

BOOL WINAPI FailingReplace(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID exclude,
                           LPVOID reserved) {
    if (++injected.calls > injected.failures) {
        return ReplaceFileW(replaced, replacement, backup, flags, exclude, reserved);
    }
    injected.replacement = Plain(replacement);
    injected.backup = Plain(backup);
    if (injected.calls == 1) {
        switch (injected.effect) {
            case Effect::kNothing:
                break;
            case Effect::kOldDeleted:
                DeleteFileW(replaced);
                break;
            case Effect::kOldToBackup:
                MoveFileW(replaced, backup);
                break;
            case Effect::kOldToBackupTaken:
                MoveFileW(replaced, backup);
                CreateDirectoryW(replaced, nullptr);
                break;
        }
    }
    SetLastError(injected.error);
    return FALSE;
}

std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

void RemoveFolder(const std::wstring& folder) {
    for (const std::wstring& name : FileNames(folder)) {
        const std::wstring path = L"\\\\?\\" + folder + L"\\" + name;
        if (name.back() == L'\\') {
            RemoveDirectoryW(path.c_str());
        } else {
            DeleteFileW(path.c_str());
        }
    }
    RemoveDirectoryW((L"\\\\?\\" + folder).c_str());
}

class FileSaveTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        Click(form->Button1);
        ASSERT_EQ(WideToAnsi(Text(form->mmoResult.Handle())), kNewList);
    }
};

// The same rows as kestrino-cli's -o (tests/cli/OutputFileTest.cpp). The
// dialog opens a folder it is given instead of returning it: those rows save
// without it.
TEST_F(FileSaveTest, TreatsEachTargetAsKestrinoCliDoes) {
    namespace save = kestrino::test::save;
    int n = 0;
    for (const save::Case& row : save::kCases) {
        SCOPED_TRACE(row.what);
        const std::filesystem::path folder = TempFolder() + L"\\targets-" + std::to_wstring(++n);
        const std::filesystem::path path = save::Prepare(folder, row.before);
        std::wstring said;
        if (row.before == save::Before::kFolder || row.before == save::Before::kLinkToFolder) {
            try {
                SaveTextToFile(path.wstring(), Text(form->mmoResult.Handle()));
            } catch (const Exception& e) {
                said = AnsiToWide(WithFinalPeriod(e.Message()));
            }
        } else {
            said = SaveAs(path.wstring());
        }
        if (row.saved) {
            EXPECT_EQ(said, L"");
        } else {
            const std::wstring start = L"Cannot create file \"" + path.wstring() + L"\". ";
            EXPECT_EQ(said.rfind(start, 0), 0u) << WideToAnsi(said);
            if (*row.reason) {
                EXPECT_EQ(said, start + AnsiToWide(row.reason) + L".");
            }
        }
        EXPECT_EQ(save::CheckAfter(folder, row, kNewList), "");
        save::Clean(folder);
    }
}

// Characters the ANSI code page cannot hold are not saved as "?": the save
// says which and writes nothing. A page the code page holds is saved byte for byte.
TEST_F(FileSaveTest, APageTheCodePageCannotHoldIsRefusedAndOneItHoldsIsSavedByteForByte) {
    const std::wstring folder = TempFolder() + L"\\codepage";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\old.txt";
    WriteFileBytes(path, kOld);

    SetWindowTextW(form->mmoResult.Handle(), L"IMEI\r\n\u4E2D\u6587\u30C6\u30B9\u30C8\u20AC\U0001F600\r\n");
    const std::wstring said = SaveAs(path);
    const std::wstring start = L"Cannot create file \"" + path + L"\". Code page " + std::to_wstring(GetACP()) +
                               L" cannot hold these characters of the text: ";
    EXPECT_EQ(said.rfind(start, 0), 0u) << WideToAnsi(said);
    // No ANSI code page holds a character beyond U+FFFF.
    EXPECT_NE(said.find(L"U+1F600"), std::wstring::npos) << WideToAnsi(said);
    EXPECT_EQ(said.back(), L'.');
    EXPECT_EQ(ReadFileBytes(path), kOld);
    EXPECT_EQ(FileNames(folder), std::vector<std::wstring>{L"old.txt"});
    EXPECT_EQ(Text(form->mmoResult.Handle()).size(), 16u) << "the page is kept";

    // Every character of a single-byte code page from 0xA0 on, as the page holds them.
    CPINFO info{};
    GetCPInfo(CP_ACP, &info);
    if (info.MaxCharSize == 1) {
        std::string bytes = "IMEI\r\n";
        for (int c = 0xA0; c <= 0xFF; ++c) {
            const char byte = static_cast<char>(c);
            wchar_t wide = 0;
            BOOL lost = FALSE;
            char back = 0;
            if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &byte, 1, &wide, 1) == 1 &&
                WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &wide, 1, &back, 1, nullptr, &lost) == 1 && !lost &&
                back == byte) {
                bytes += byte;
            }
        }
        SetWindowTextW(form->mmoResult.Handle(), AnsiToWide(bytes).c_str());
        EXPECT_EQ(SaveAs(path), L"");
        EXPECT_EQ(ReadFileBytes(path), bytes);
    }
    RemoveFolder(folder);
}

TEST_F(FileSaveTest, AFailedReplaceLeavesTheOldFileOrTheNewListUnderTheChosenName) {
    constexpr int kEvery = 1000;
    enum Outcome { kSaved, kOldKept, kBothKeptAside };
    struct Row {
        const char* what;
        Effect effect;
        DWORD error;
        int failures;
        Outcome outcome;
        bool retried;
    };
    const Row rows[] = {
        // The replace gave up without moving anything: the old file stays.
        {"1176, both names kept", Effect::kNothing, ERROR_UNABLE_TO_MOVE_REPLACEMENT, kEvery, kOldKept, false},
        // The old file is gone from its name: the new list takes it.
        {"1176, the old file deleted", Effect::kOldDeleted, ERROR_UNABLE_TO_MOVE_REPLACEMENT, kEvery, kSaved, false},
        {"1176, the old file under the backup name", Effect::kOldToBackup, ERROR_UNABLE_TO_MOVE_REPLACEMENT, kEvery,
         kSaved, false},
        {"1177", Effect::kOldToBackup, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, kEvery, kSaved, false},
        // Nothing can take the name: both files stay, and the message names them.
        {"1177, a folder took the name", Effect::kOldToBackupTaken, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, kEvery,
         kBothKeptAside, false},
        // A file held for a moment.
        {"sharing violation once", Effect::kNothing, ERROR_SHARING_VIOLATION, 1, kSaved, true},
        {"sharing violation throughout", Effect::kNothing, ERROR_SHARING_VIOLATION, kEvery, kOldKept, true},
        {"access denied", Effect::kNothing, ERROR_ACCESS_DENIED, kEvery, kOldKept, true},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::wstring folder = TempFolder() + L"\\replace-" + std::to_wstring(++n);
        CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring path = folder + L"\\old.txt";
        WriteFileBytes(path, kOld);
        injected = Injected{row.effect, row.error, row.failures, 0, L"", L""};
        form->saveCalls.replaceFile = FailingReplace;

        const std::wstring said = SaveAs(path);

        EXPECT_EQ(injected.calls > 1, row.retried) << injected.calls << " calls";
        const std::wstring failed =
            L"Cannot create file \"" + path + L"\". " + AnsiToWide(SystemErrorText(row.error));
        switch (row.outcome) {
            case kSaved:
                EXPECT_EQ(said, L"");
                EXPECT_EQ(ReadFileBytes(path), kNewList);
                EXPECT_EQ(FileNames(folder), std::vector<std::wstring>{L"old.txt"});
                break;
            case kOldKept:
                EXPECT_EQ(said, failed + L".");
                EXPECT_EQ(ReadFileBytes(path), kOld);
                EXPECT_EQ(FileNames(folder), std::vector<std::wstring>{L"old.txt"});
                break;
            case kBothKeptAside:
                EXPECT_EQ(said, failed + L". The new list was kept in \"" + injected.replacement +
                                    L"\". The old file was kept in \"" + injected.backup + L"\".");
                EXPECT_EQ(ReadFileBytes(injected.replacement), kNewList);
                EXPECT_EQ(ReadFileBytes(injected.backup), kOld);
                std::vector<std::wstring> expected{L"old.txt\\", NameOf(injected.backup), NameOf(injected.replacement)};
                std::sort(expected.begin(), expected.end());
                EXPECT_EQ(FileNames(folder), expected);
                break;
        }
        RemoveFolder(folder);
    }
}

// The temporary file beside the target must not be what stops a save: a path
// as long as the dialog takes, with the longest name (in a folder at the
// drive's root), with a long name, and in a long folder with a short name.
TEST_F(FileSaveTest, ANameAtThePathLengthLimitIsSaved) {
    const std::wstring base = TempFolder();
    const std::wstring folders[] = {
        base.substr(0, 3) + L"k" + std::to_wstring(GetCurrentProcessId()),
        base + L"\\d",
        base + L"\\" + std::wstring(MAX_PATH - 7 - base.size() - 1, L'd'),
    };
    for (const std::wstring& folder : folders) {
        SCOPED_TRACE(WideToAnsi(folder));
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr));
        const std::wstring name = std::wstring(MAX_PATH - 1 - folder.size() - 1 - 4, L'n') + L".txt";
        const std::wstring path = folder + L"\\" + name;
        ASSERT_EQ(path.size(), std::size_t{MAX_PATH - 1});

        EXPECT_EQ(SaveAs(path), L"");
        EXPECT_EQ(ReadFileBytes(path), kNewList);
        EXPECT_EQ(FileNames(folder), std::vector<std::wstring>{name});
        // And once more over the file just saved: the replace.
        EXPECT_EQ(SaveAs(path), L"");
        EXPECT_EQ(ReadFileBytes(path), kNewList);
        EXPECT_EQ(FileNames(folder), std::vector<std::wstring>{name});
        RemoveFolder(folder);
    }
}

// Wine's dialog overran a buffer of its own on a name past the path limit and
// ended the program with the page unsaved: the dialog now refuses such a name
// and stays open for another.
TEST_F(FileSaveTest, ANameTooLongForTheDialogIsRefusedAndTheDialogStaysOpen) {
    const std::wstring folder = TempFolder() + L"\\too-long";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\" + std::wstring(270, L'n') + L".txt";
    std::wstring said;
    std::atomic<bool> cancelled{false};
    DialogWatcher watcher([&](HWND dialog) {
        if (GetDlgItem(dialog, 0xFFFF) && !GetDlgItem(dialog, 0x47C) && !GetDlgItem(dialog, 0x480)) {
            said = DialogWatcher::MessageText(dialog);
            DialogWatcher::Answer(dialog, IDOK);
        } else if (said.empty()) {
            // Posted: the refusal's box runs inside the dialog's handling of it.
            if (!SetDlgItemTextW(dialog, 0x47C, path.c_str())) SetDlgItemTextW(dialog, 0x480, path.c_str());
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        } else {
            cancelled = true;
            DialogWatcher::Answer(dialog, IDCANCEL);
        }
    });
    MenuCommand(form->SaveToTextFile1);
    EXPECT_TRUE(PumpUntil([&] { return cancelled && !OpenDialog(); },
                          [&] { return "box said: " + WideToAnsi(said) + (cancelled ? "; cancelled" : ""); }));
    EXPECT_EQ(said, L"The file name is too long. Choose a shorter name or a folder nearer the drive's root.");
    EXPECT_EQ(FilesIn(folder), 0);
    EXPECT_EQ(WideToAnsi(Text(form->mmoResult.Handle())), kNewList);
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace kestrino::test
