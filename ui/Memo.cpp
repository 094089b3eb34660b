#include "ui/Memo.h"

#include "ui/WinText.h"

namespace kestrino {

void TMemo::Create(const Args& args) {
    const DWORD scroll = args.scrollBars ? WS_VSCROLL | WS_HSCROLL | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN : 0;
    CreateWindowFor({
        .exStyle = WS_EX_CLIENTEDGE,
        .className = WC_EDITW,
        .text = args.text,
        .fixedText = args.fixedText,
        .style = WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | scroll | (args.readOnly ? ES_READONLY : 0),
        .parent = args.parent,
        .colors = {.text = TSystemColor{COLOR_WINDOWTEXT}, .background = {COLOR_WINDOW}},
    });
}

void TMemo::Clear() { HwndSetText(Handle(), ""); }

std::string TMemo::Text() const { return HwndGetText(Handle()); }

std::size_t TMemo::Length() const {
    const LRESULT n = SendMessageW(Handle(), WM_GETTEXTLENGTH, 0, 0);
    return n < 0 ? 0 : static_cast<std::size_t>(n);
}

std::size_t TMemo::Limit() const { return static_cast<std::size_t>(SendMessageW(Handle(), EM_GETLIMITTEXT, 0, 0)); }

bool TMemo::EndsWithLineBreakOrEmpty() const {
    const LRESULT length = SendMessageW(Handle(), WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return true;
    // The last line starts at the very end exactly when a line break ends the text.
    const LRESULT lines = SendMessageW(Handle(), EM_GETLINECOUNT, 0, 0);
    return SendMessageW(Handle(), EM_LINEINDEX, static_cast<WPARAM>(lines - 1), 0) == length;
}

bool TMemo::AppendText(std::string_view text) {
    if (text.empty()) return true;
    const std::size_t before = Length();
    const std::wstring wide = AnsiToWide(text);
    // Hidden from drawing during the edit: the control otherwise redraws its
    // scroll bars on every change. WS_VISIBLE, not WM_SETREDRAW: under Wine a
    // Builder fill took 1.3 to 1.5 times one WM_SETTEXT this way, 1.7 to 2.0
    // with WM_SETREDRAW (make bench-ui). Repaint shows the result.
    const LONG style = GetWindowLongW(Handle(), GWL_STYLE);
    if (style & WS_VISIBLE) SetWindowLongW(Handle(), GWL_STYLE, style & ~WS_VISIBLE);
    SendMessageW(Handle(), EM_SETSEL, before, static_cast<LPARAM>(before));
    SendMessageW(Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
    const bool taken = Length() == before + wide.size();
    if (!taken) {
        // Partly taken: take it back, so the memo holds whole lines only.
        SendMessageW(Handle(), EM_SETSEL, before, static_cast<LPARAM>(Length()));
        SendMessageW(Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    }
    if (style & WS_VISIBLE) SetWindowLongW(Handle(), GWL_STYLE, style);
    // The replacement left the caret after the text and scrolled it into view.
    return taken;
}

void TMemo::Repaint() { RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME); }

void TMemo::SelectAllAndCopy() {
    SendMessageW(Handle(), EM_SETSEL, 0, -1);
    if (Length() > 0) SendMessageW(Handle(), WM_COPY, 0, 0);
}

LRESULT TMemo::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CONTEXTMENU && OnContextMenu) {
        SetFocus(Handle());
        POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        if (lp == -1) {
            // From the keyboard: at the caret.
            GetCaretPos(&pt);
            ClientToScreen(Handle(), &pt);
        }
        OnContextMenu(pt);
        return 0;
    }
    return Default(msg, wp, lp);
}

}  // namespace kestrino
