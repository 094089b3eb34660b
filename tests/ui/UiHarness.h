#pragma once
// Drives the real main window the way a user's actions do: messages to the
// real controls, processed by the program's own message handling.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ui/Application.h"
#include "ui/UnitMain.h"

namespace kestrino::test {

// Handles whatever is queued, as the event loop would, until nothing is left.
// A posted action has then run to its end, modal dialogs and runs included.
inline void Pump() { Application().ProcessMessages(); }

// How long a test waits for what another thread, process or the display does.
constexpr DWORD kDeadlineMs = 20000;

// Handles events, as the event loop would, until done() holds; fails with
// what seen() describes when it does not within the deadline.
template <class Done, class Seen>
::testing::AssertionResult PumpUntil(Done done, Seen seen, DWORD deadlineMs = kDeadlineMs) {
    const ULONGLONG end = GetTickCount64() + deadlineMs;
    for (;;) {
        Pump();
        if (done()) return ::testing::AssertionSuccess();
        const ULONGLONG now = GetTickCount64();
        if (now >= end) break;
        // Wakes at the next message, or soon, for a condition another thread changes.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 10)), QS_ALLINPUT);
    }
    return ::testing::AssertionFailure() << "not within " << deadlineMs << " ms; seen: " << seen();
}

inline void Key(HWND hwnd, UINT vk) {
    PostMessageW(hwnd, WM_KEYDOWN, vk, 1);
    PostMessageW(hwnd, WM_KEYUP, vk, 0xC0000001);
    Pump();
}

// Key with modifiers held, as the keyboard state shows them.
inline void KeyWith(HWND hwnd, UINT vk, bool ctrl, bool shift) {
    BYTE state[256];
    GetKeyboardState(state);
    const BYTE saved[2] = {state[VK_CONTROL], state[VK_SHIFT]};
    state[VK_CONTROL] = ctrl ? 0x80 : 0;
    state[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(state);
    PostMessageW(hwnd, WM_KEYDOWN, vk, 1);
    Pump();
    state[VK_CONTROL] = saved[0];
    state[VK_SHIFT] = saved[1];
    SetKeyboardState(state);
}

// Typed characters reach the control as the keyboard would deliver them.
inline void Type(HWND hwnd, std::wstring_view text) {
    for (const wchar_t ch : text) {
        PostMessageW(hwnd, WM_CHAR, ch, 1);
        Pump();
    }
}

inline void SetClipboardText(const std::wstring& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    memcpy(GlobalLock(mem), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(mem);
    SetClipboardData(CF_UNICODETEXT, mem);
    CloseClipboard();
}

inline std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

// Replaces the whole text by pasting, as Ctrl+A, Ctrl+V would.
inline void PasteOver(HWND edit, const std::wstring& text) {
    SetClipboardText(text);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_PASTE, 0, 0);
    Pump();
}

inline std::wstring Text(HWND hwnd) {
    const int n = GetWindowTextLengthW(hwnd);
    std::wstring s(static_cast<std::size_t>(n) + 1, L'\0');
    GetWindowTextW(hwnd, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(n));
    return s;
}

inline std::pair<DWORD, DWORD> Selection(HWND edit) {
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
}

inline std::wstring PanelText(const TFormKestrino& form, int panel) {
    const HWND bar = form.StatusBar1.Handle();
    const auto len = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, panel, 0));
    std::wstring s(len + 1u, L'\0');
    SendMessageW(bar, SB_GETTEXTW, panel, reinterpret_cast<LPARAM>(s.data()));
    s.resize(len);
    return s;
}

// Files as the tests see them, through the same system calls as the program.
inline std::string ReadFileBytes(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes(GetFileSize(f, nullptr), '\0');
    DWORD got = 0;
    ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(f);
    return bytes;
}

inline void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(f);
}

inline std::wstring TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring folder = std::wstring(base) + L"kestrino-test-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// The names in a folder, sorted; a folder's name ends in a backslash.
inline std::vector<std::wstring> FileNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        names.push_back(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? name + L"\\" : name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

inline int FilesIn(const std::wstring& folder) {
    const auto names = FileNames(folder);
    return static_cast<int>(std::count_if(names.begin(), names.end(), [](const std::wstring& n) { return n.back() != L'\\'; }));
}

// The visible dialog of this process's (message box, save dialog), if one is open.
inline HWND OpenDialog() {
    HWND found = nullptr;
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            wchar_t cls[32] = {};
            GetClassNameW(hwnd, cls, 32);
            if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) && wcscmp(cls, L"#32770") == 0) {
                *reinterpret_cast<HWND*>(param) = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Watches for modal dialogs of this process on a thread of its own and hands
// each to a responder, which reads it and answers it.
class DialogWatcher {
public:
    using Responder = std::function<void(HWND dialog)>;

    explicit DialogWatcher(Responder responder) : responder_(std::move(responder)), thread_([this] { Watch(); }) {}
    ~DialogWatcher() {
        stop_ = true;
        thread_.join();
    }
    int Seen() const { return seen_; }

    static std::wstring Caption(HWND dialog) { return Text(dialog); }
    // The message box's text is the static control 0xFFFF.
    static std::wstring MessageText(HWND dialog) { return Text(GetDlgItem(dialog, 0xFFFF)); }
    // Sent, not posted: the answer comes before anything the dialog has
    // queued for itself, and has been taken when this returns.
    static void Answer(HWND dialog, int id) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0, SMTO_NORMAL, kDeadlineMs, &ignored);
    }

private:
    void Watch() {
        while (!stop_) {
            const HWND found = OpenDialog();
            // Shown once its set-up is done; enabled once no box of its own is over it.
            if (found && found != last_ && IsWindowEnabled(found)) {
                last_ = found;
                ++seen_;
                responder_(found);
            }
            Sleep(10);  // polling, not waiting for a result: it watches for as long as it lives
        }
    }

    Responder responder_;
    std::atomic<bool> stop_{false};
    std::atomic<int> seen_{0};
    HWND last_ = nullptr;
    std::thread thread_;
};

// Answers the save dialog with a file name, as a user typing it would.
inline void AnswerSaveDialog(HWND dialog, const std::wstring& path) {
    // The explorer-style dialog's file name box is cmb13, older ones edt1.
    if (!SetDlgItemTextW(dialog, 0x47C, path.c_str())) SetDlgItemTextW(dialog, 0x480, path.c_str());
    DialogWatcher::Answer(dialog, IDOK);
}

// The real main window, created and shown as at start-up.
class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TFormKestrino>();
        FormKestrino = form.get();
        form->FormCreate(form.get());
        form->Show();
        Pump();
    }
    void TearDown() override {
        FormKestrino = nullptr;
        form.reset();
        Pump();
        // A quit request posted by a test must not reach the next one.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        Application().ResetTerminated();
    }

    void Click(const TButton& button) {
        PostMessageW(button.Handle(), BM_CLICK, 0, 0);
        Pump();
    }
    void MenuCommand(const TMenuItem& item) {
        PostMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(item.id, 0), 0);
        Pump();
    }
    // Saves through the real menu item and dialog; returns what any box said.
    std::wstring SaveAs(const std::wstring& path) {
        std::wstring said;
        DialogWatcher watcher([&](HWND dialog) {
            if (GetDlgItem(dialog, 0xFFFF) && !GetDlgItem(dialog, 0x47C) && !GetDlgItem(dialog, 0x480)) {
                said = DialogWatcher::MessageText(dialog);
                DialogWatcher::Answer(dialog, IDOK);
            } else {
                AnswerSaveDialog(dialog, path);
            }
        });
        MenuCommand(form->SaveToTextFile1);
        // The command has run to its end once its dialogs have been answered.
        EXPECT_TRUE(PumpUntil([&] { return watcher.Seen() > 0 && !OpenDialog(); },
                              [&] { return std::to_string(watcher.Seen()) + " dialogs answered, one still open: " +
                                           (OpenDialog() ? "yes" : "no"); }));
        return said;
    }
    // Puts the caret at a position, as a click into the text would.
    void CaretAt(HWND edit, int position) {
        SetFocus(edit);
        SendMessageW(edit, EM_SETSEL, position, position);
    }

public:
    std::unique_ptr<TFormKestrino> form;
};

}  // namespace kestrino::test
