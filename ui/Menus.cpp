#include "ui/Menus.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>
#include <string_view>

#include "core/Exception.h"
#include "ui/WinText.h"

namespace kestrino {

TPopupMenu::~TPopupMenu() {
    if (menu_) DestroyMenu(menu_);
}

void TPopupMenu::Create(std::vector<TMenuItem*> items) {
    menu_ = CreatePopupMenu();
    if (!menu_) throw Exception("Cannot create the popup menu. " + SystemErrorText(GetLastError()));
    items_ = std::move(items);
    for (const TMenuItem* item : items_) {
        AppendMenuW(menu_, MF_STRING, item->id, AnsiToWide(item->caption).c_str());
    }
}

void TPopupMenu::Popup(HWND owner, POINT screen) const {
    TrackPopupMenu(menu_, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0, owner, nullptr);
}

bool TPopupMenu::Command(UINT id) const {
    for (TMenuItem* item : items_) {
        if (item->id != id) continue;
        if (item->OnClick) item->OnClick(item);
        return true;
    }
    return false;
}

namespace {

// Wine's dialog joins its folder and the typed name in a buffer of MAX_PATH
// characters of its own and overruns it on a longer name, which ends the
// program. Such a name is refused before the dialog handles it, and the dialog
// stays open for a shorter one.
bool NameTooLong(HWND dialog) {
    HWND box = GetDlgItem(dialog, cmb13);
    if (!box) box = GetDlgItem(dialog, edt1);
    if (!box) return false;
    const std::size_t name = static_cast<std::size_t>(GetWindowTextLengthW(box));
    std::wstring text(name + 1, L'\0');
    GetWindowTextW(box, text.data(), static_cast<int>(text.size()));
    const std::wstring_view typed(text.data(), name);
    const bool absolute = typed.starts_with(L'\\') || (name >= 2 && typed[1] == L':');
    // The folder's length with its end, which stands for the backslash between.
    const LRESULT folder = absolute ? 0 : SendMessageW(dialog, CDM_GETFOLDERPATH, 0, 0);
    std::size_t full = (folder > 0 ? static_cast<std::size_t>(folder) : 0) + name;
    // A name without an extension gets ".txt".
    const std::size_t last = typed.find_last_of(L"\\/");
    if (typed.find(L'.', last == std::wstring_view::npos ? 0 : last) == std::wstring_view::npos) full += 4;
    return full >= MAX_PATH;
}

constexpr UINT_PTR kNameGuard = 1;

LRESULT CALLBACK GuardNameLength(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK && NameTooLong(dialog)) {
        wchar_t caption[128] = {};
        GetWindowTextW(dialog, caption, static_cast<int>(std::size(caption)));
        MessageBoxW(dialog, L"The file name is too long. Choose a shorter name or a folder nearer the drive's root.",
                    caption, MB_OK | MB_ICONWARNING);
        return 0;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(dialog, GuardNameLength, kNameGuard);
    return DefSubclassProc(dialog, message, wParam, lParam);
}

// While the dialog runs: the first dialog window made on this thread is the
// save dialog, which gets the guard.
thread_local bool guardPlaced = false;

LRESULT CALLBACK PlaceGuard(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && !guardPlaced) {
        const HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t name[16] = {};
        GetClassNameW(window, name, static_cast<int>(std::size(name)));
        if (std::wstring_view(name) == L"#32770") {
            guardPlaced = SetWindowSubclass(window, GuardNameLength, kNameGuard, 0) != FALSE;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

bool TSaveDialog::Execute(HWND owner) {
    // "Description|pattern" becomes the platform's double-NUL list.
    std::wstring filterList = filter;
    std::replace(filterList.begin(), filterList.end(), L'|', L'\0');
    filterList.push_back(L'\0');
    filterList.push_back(L'\0');

    std::vector<wchar_t> buffer(32768, L'\0');
    std::copy_n(fileName.c_str(), std::min(fileName.size(), buffer.size() - 1), buffer.begin());

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filterList.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    guardPlaced = false;
    const HHOOK hook = SetWindowsHookExW(WH_CBT, PlaceGuard, nullptr, GetCurrentThreadId());
    const BOOL chosen = GetSaveFileNameW(&ofn);
    if (hook) UnhookWindowsHookEx(hook);
    if (!chosen) return false;
    fileName.assign(buffer.data());
    return true;
}

}  // namespace kestrino
