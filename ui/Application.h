#pragma once
// Start-up state, the event loop and the application error box.
#include <windows.h>

#include <exception>
#include <string>
#include <string_view>

namespace kestrino {

// Program file name without its folder, cut at its first period, every
// character after the first in lower case: C:\x\TOOLBOX.EXE gives "Toolbox".
std::wstring ApplicationTitleFromPath(std::wstring_view modulePath);

// The error box's text: the message up to its first NUL, with a period added
// when its last character's code is above that of the period.
std::wstring ErrorBoxText(std::string_view message);

// Sees each queued message before it is dispatched; true means handled.
class MessageFilter {
public:
    virtual bool PreTranslateMessage(MSG& msg) = 0;

protected:
    ~MessageFilter() = default;
};

class TApplication {
public:
    // Forms the title from the program file's name, loads the icon and makes
    // the hidden window that carries the task-bar entry.
    void Initialize();

    const std::wstring& Title() const { return title_; }
    HICON Icon() const { return icon_; }
    // Owner of the main window; its caption is what the task bar shows.
    HWND Handle() const { return handle_; }
    void SetMainWindow(HWND hwnd, MessageFilter* filter);
    void ShowMainWindow();
    // Takes the main window off the screen, leaving the task-bar entry iconic,
    // and brings it back: the title bar's and the task bar's buttons.
    void Minimize();
    void Restore();

    // Shows the error being handled (call inside a catch block).
    void HandleException() noexcept;
    void ShowErrorBox(std::string_view message) noexcept;

    // Handles every waiting message and returns when the queue is empty.
    void ProcessMessages();
    // The event loop: runs until a quit request has been taken.
    void Run();
    bool Terminated() const { return terminated_; }
    // Forgets a quit request already taken, for a host that runs the loop
    // more than once.
    void ResetTerminated() { terminated_ = false; }

private:
    bool ProcessMessage(MSG& msg);
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    std::wstring title_;
    HICON icon_ = nullptr;
    HWND handle_ = nullptr;
    HWND mainWindow_ = nullptr;
    MessageFilter* filter_ = nullptr;
    bool terminated_ = false;
};

TApplication& Application();

// Every handler is entered through here, so that no exception unwinds through
// Windows' own frames: an error ends the handler and reaches the error box.
template <class F>
void Dispatch(F&& handler) noexcept {
    try {
        handler();
    } catch (...) {
        Application().HandleException();
    }
}

}  // namespace kestrino
