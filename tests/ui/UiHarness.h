#pragma once
// Drives the real main window the way a user's actions do: messages to the
// real controls, processed by the program's own message handling.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "ui/Application.h"
#include "ui/UnitMain.h"

namespace kestrino::test {

// Handles whatever is queued, as the event loop would, until nothing is left.
inline void Pump() {
    for (int i = 0; i < 3; ++i) {
        Application().ProcessMessages();
        Sleep(1);
    }
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
    static void Answer(HWND dialog, int id) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

private:
    void Watch() {
        while (!stop_) {
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
            if (found && found != last_) {
                last_ = found;
                Sleep(100);  // let the dialog finish its set-up
                ++seen_;
                responder_(found);
            }
            Sleep(20);
        }
    }

    Responder responder_;
    std::atomic<bool> stop_{false};
    std::atomic<int> seen_{0};
    HWND last_ = nullptr;
    std::thread thread_;
};

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
    // Puts the caret at a position, as a click into the text would.
    void CaretAt(HWND edit, int position) {
        SetFocus(edit);
        SendMessageW(edit, EM_SETSEL, position, position);
    }

public:
    std::unique_ptr<TFormKestrino> form;
};

}  // namespace kestrino::test
