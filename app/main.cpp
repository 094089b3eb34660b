// Kestrino's entry: start-up, the event loop, shut-down.
#include <windows.h>

#include <commctrl.h>

#include "ui/Application.h"
#include "ui/UnitMain.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a library: only from System32. Windows 7
    // without KB2533623 lacks SetDefaultDllDirectories, and an import of it
    // would keep the exe from starting there; it is looked up instead, and
    // without it at least the current folder leaves the search order.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (!setDefaultDllDirectories || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");

    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&icc);

    using namespace kestrino;
    TApplication& app = Application();
    app.Initialize();
    Dispatch([&] {
        FormKestrino = new TFormKestrino();
        FormKestrino->FormCreate(FormKestrino);
        FormKestrino->Show();
    });
    // Without its window the program has nothing to do; the box said why.
    if (!FormKestrino) return 1;
    app.Run();
    delete FormKestrino;
    FormKestrino = nullptr;
    return 0;
}
