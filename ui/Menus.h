#pragma once
// The popup menu with its items, and the save dialog: objects of the form
// that are not windows of their own.
#include <windows.h>

#include <string>
#include <vector>

#include "ui/Controls.h"

namespace kestrino {

class TMenuItem : public TObject {
public:
    UINT id = 0;
    std::string caption;
    TNotifyEvent OnClick;
};

class TPopupMenu : public TObject {
public:
    TPopupMenu() = default;
    TPopupMenu(const TPopupMenu&) = delete;
    TPopupMenu& operator=(const TPopupMenu&) = delete;
    ~TPopupMenu() override;

    void Create(std::vector<TMenuItem*> items);
    HMENU Handle() const { return menu_; }
    void Popup(HWND owner, POINT screen) const;
    // A command from the menu; false when no item has that id.
    bool Command(UINT id) const;

private:
    HMENU menu_ = nullptr;
    std::vector<TMenuItem*> items_;
};

class TSaveDialog : public TObject {
public:
    std::wstring filter;      // "Description|pattern" pairs
    std::wstring defaultExt;  // without the period
    std::wstring fileName;    // the last chosen full path
    // Runs the dialog; false when cancelled or when it cannot be shown.
    bool Execute(HWND owner);
};

}  // namespace kestrino
