#pragma once
// Finds a control of the running program the way a driver from outside sees
// it: by class and text. Shared by Showcase and the process-level tests.
#include <windows.h>

#include <cwchar>

namespace kestrino {

// The first child of parent of class cls (any case) whose text is text; null
// text matches any. The text is asked with WM_GETTEXT, which another
// process's edit control answers with what it holds.
inline HWND FindChild(HWND parent, const wchar_t* cls, const wchar_t* text) {
    struct Search {
        const wchar_t* cls;
        const wchar_t* text;
        HWND found;
    } search{cls, text, nullptr};
    EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            wchar_t className[64] = {};
            wchar_t held[64] = {};
            GetClassNameW(hwnd, className, 64);
            SendMessageW(hwnd, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(held));
            if (_wcsicmp(className, s->cls) == 0 && (!s->text || std::wcscmp(held, s->text) == 0)) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace kestrino
