#include "ui/Edits.h"

#include "core/Exception.h"
#include "core/NumberText.h"
#include "ui/WinText.h"

namespace kestrino {

void TEdit::Create(const Args& args) { Create(args, 0); }

void TEdit::Create(const Args& args, DWORD extraStyle) {
    CreateWindowFor({
        .exStyle = WS_EX_CLIENTEDGE,
        .className = WC_EDITW,
        .text = args.text,
        .style = WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | (args.readOnly ? ES_READONLY : 0) | extraStyle,
        .parent = args.parent,
        .colors = {.text = args.textColor, .background = args.background},
    });
}

std::string TEdit::Text() const { return HwndGetText(Handle()); }

void TEdit::SetText(std::string_view text, Caret caret) {
    if (text == Text()) return;
    // The control's own notification is held back so that the handler runs
    // exactly once, here, before the assignment returns.
    ++programAssignments_;
    HwndSetText(Handle(), text);
    --programAssignments_;
    switch (caret) {
    case Caret::Start:
        SendMessageW(Handle(), EM_SETSEL, 0, 0);
        break;
    case Caret::End: {
        const int end = GetWindowTextLengthW(Handle());
        SendMessageW(Handle(), EM_SETSEL, static_cast<WPARAM>(end), end);
        break;
    }
    case Caret::SelectAll:
        SendMessageW(Handle(), EM_SETSEL, 0, -1);
        break;
    }
    if (OnChange) OnChange(this);
}

void TEdit::Command(UINT code) {
    if (code == EN_CHANGE && programAssignments_ == 0 && OnChange) OnChange(this);
}

void TSpinEdit::Create(const Args& args) {
    TEdit::Create(args, WS_CLIPCHILDREN);
    upDown_ = CreateChecked(0, UPDOWN_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, Handle(), nullptr);
    // Position 1 of 0..2, and every step is cancelled: the buttons only report
    // direction, so they never stop at an end of their own range.
    SendMessageW(upDown_, UDM_SETRANGE32, 0, 2);
    SendMessageW(upDown_, UDM_SETPOS32, 0, 1);

    wchar_t separator[8] = L".";
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, static_cast<int>(std::size(separator)));
    decimalSeparator_ = separator;
}

std::int32_t TSpinEdit::Value() const {
    try {
        return TextToInt(Text());
    } catch (const EConvertError&) {
        return 0;
    }
}

void TSpinEdit::SetValue(std::int32_t value, Caret caret) { SetText(IntToText(value), caret); }

void TSpinEdit::Step(std::int32_t delta) {
    const auto next = static_cast<std::uint32_t>(Value()) + static_cast<std::uint32_t>(delta);
    SetValue(static_cast<std::int32_t>(next));
}

bool TSpinEdit::AcceptsChar(wchar_t ch, std::wstring_view decimalSeparator) {
    if (ch >= L'0' && ch <= L'9') return true;
    if (ch == L'+' || ch == L'-') return true;
    if (ch == L'\r') return false;
    if (ch < 32) return true;
    return decimalSeparator.find(ch) != std::wstring_view::npos;
}

void TSpinEdit::SetButtonWidth(int pixels) {
    buttonWidth_ = pixels;
    PlaceButtons();
}

void TSpinEdit::PlaceButtons() {
    if (!upDown_) return;
    RECT spin{};
    GetClientRect(Handle(), &spin);
    SetWindowPos(upDown_, nullptr, spin.right - buttonWidth_, 0, buttonWidth_, spin.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(Handle(), EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, buttonWidth_));
}

LRESULT TSpinEdit::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CHAR:
        if (!AcceptsChar(static_cast<wchar_t>(wp), decimalSeparator_)) {
            MessageBeep(MB_OK);
            return 0;
        }
        break;
    case WM_KEYDOWN:
        if (wp == VK_UP || wp == VK_DOWN) {
            Step(wp == VK_UP ? 1 : -1);
            return 0;
        }
        break;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lp);
        if (header->hwndFrom == upDown_ && header->code == UDN_DELTAPOS) {
            const auto* ud = reinterpret_cast<const NMUPDOWN*>(lp);
            if (ud->iDelta != 0) Step(ud->iDelta > 0 ? 1 : -1);
            return TRUE;
        }
        break;
    }
    case WM_VSCROLL:
        return 0;
    case WM_SIZE: {
        const LRESULT r = Default(msg, wp, lp);
        PlaceButtons();
        return r;
    }
    case WM_PAINT: {
        // The edit class paints with its parent's clipping (CS_PARENTDC), over
        // the buttons inside it: they are drawn again on top.
        const LRESULT r = Default(msg, wp, lp);
        if (upDown_) RedrawWindow(upDown_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        return r;
    }
    }
    return Default(msg, wp, lp);
}

}  // namespace kestrino
