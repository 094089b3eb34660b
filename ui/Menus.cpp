#include "ui/Menus.h"

#include <commdlg.h>

#include <algorithm>

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
    if (!GetSaveFileNameW(&ofn)) return false;
    fileName.assign(buffer.data());
    return true;
}

}  // namespace kestrino
