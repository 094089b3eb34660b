#include "ui/Application.h"

#include <new>

#include "core/Exception.h"
#include "ui/Controls.h"
#include "ui/WinText.h"

namespace kestrino {

std::wstring ApplicationTitleFromPath(std::wstring_view modulePath) {
    std::wstring_view name = modulePath;
    if (const auto slash = name.find_last_of(L'\\'); slash != std::wstring_view::npos) name.remove_prefix(slash + 1);
    if (const auto dot = name.find(L'.'); dot != std::wstring_view::npos) name = name.substr(0, dot);
    std::wstring title(name);
    if (title.size() > 1) CharLowerBuffW(title.data() + 1, static_cast<DWORD>(title.size() - 1));
    return title;
}

std::wstring ErrorBoxText(std::string_view message) {
    std::wstring wide = AnsiToWide(WithFinalPeriod(message));
    if (const auto nul = wide.find(L'\0'); nul != std::wstring::npos) wide.resize(nul);
    return wide;
}

TApplication& Application() {
    static TApplication app;
    return app;
}

namespace {
constexpr wchar_t kAppClass[] = L"TApplication";
}

void TApplication::Initialize() {
    wchar_t path[MAX_PATH * 4];
    const DWORD len = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    title_ = ApplicationTitleFromPath(std::wstring_view(path, len));
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    icon_ = LoadIconW(instance, L"MAINICON");

    RegisterWindowClass({.name = kAppClass, .proc = WndProc, .icon = icon_});
    // A zero-size popup: invisible itself, it owns the main window and gives the
    // program one task-bar entry that carries the application title.
    handle_ = CreateWindowExW(0, kAppClass, title_.c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                              nullptr, nullptr, instance, nullptr);
}

void TApplication::SetMainWindow(HWND hwnd, MessageFilter* filter) {
    mainWindow_ = hwnd;
    filter_ = filter;
}

void TApplication::ShowMainWindow() {
    if (handle_) {
        // Shown without activation or animation: only its task-bar entry is seen.
        SetWindowPos(handle_, nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    }
    if (mainWindow_) {
        ShowWindow(mainWindow_, SW_SHOW);
        SetForegroundWindow(mainWindow_);
    }
}

void TApplication::Minimize() {
    if (!handle_) return;
    ShowWindow(handle_, SW_MINIMIZE);
    // Windows hides the windows an iconic window owns; Wine leaves them on screen.
    if (mainWindow_) ShowWindow(mainWindow_, SW_HIDE);
}

void TApplication::Restore() {
    if (handle_ && IsIconic(handle_)) ShowWindow(handle_, SW_RESTORE);
    if (mainWindow_) {
        ShowWindow(mainWindow_, SW_SHOW);
        SetForegroundWindow(mainWindow_);
    }
}

LRESULT CALLBACK TApplication::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    TApplication& app = Application();
    switch (msg) {
    case WM_SYSCOMMAND:
        // The task-bar entry restores, minimises and closes the main window.
        switch (wp & 0xFFF0) {
        case SC_RESTORE:
            app.Restore();
            return 0;
        case SC_MINIMIZE:
            app.Minimize();
            return 0;
        case SC_CLOSE:
            if (app.mainWindow_) PostMessageW(app.mainWindow_, WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE && app.mainWindow_ && IsWindowVisible(app.mainWindow_) && !IsIconic(hwnd)) {
            SetActiveWindow(app.mainWindow_);
            return 0;
        }
        break;
    case WM_CLOSE:
        if (app.mainWindow_) PostMessageW(app.mainWindow_, WM_CLOSE, 0, 0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void TApplication::ShowErrorBox(std::string_view message) noexcept {
    try {
        const std::wstring text = ErrorBoxText(message);
        HWND owner = GetActiveWindow();
        if (!owner) owner = mainWindow_;
        MessageBoxW(owner, text.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
    } catch (...) {
        MessageBoxW(mainWindow_, L"Out of memory.", title_.c_str(), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
    }
}

void TApplication::HandleException() noexcept {
    try {
        throw;
    } catch (const Exception& e) {
        ShowErrorBox(e.Message());
    } catch (const std::bad_alloc&) {
        ShowErrorBox("Out of memory");
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
    } catch (...) {
        ShowErrorBox("Unknown error");
    }
}

bool TApplication::ProcessMessage(MSG& msg) {
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        // Remembered rather than re-posted: when a run takes the request while
        // it processes events, the event loop still ends once the run is over.
        return true;
    }
    if (!(filter_ && filter_->PreTranslateMessage(msg))) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (ProcessMessage(msg)) {
    }
}

void TApplication::Run() {
    MSG msg;
    while (!terminated_) {
        if (!ProcessMessage(msg) && !terminated_) WaitMessage();
    }
}

}  // namespace kestrino
