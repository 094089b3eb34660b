#include "ui/Controls.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "core/Exception.h"
#include "core/NumberText.h"
#include "ui/WinText.h"

namespace kestrino {

std::string TEdit::Text() const { return WideToAnsi(HwndGetText(handle_)); }

void TEdit::SetText(std::string_view text) {
    const std::wstring wide = AnsiToWide(text);
    if (wide == HwndGetText(handle_)) return;
    // The control's own notification is held back so that the handler runs
    // exactly once, here, before the assignment returns.
    ++programAssignments_;
    HwndSetText(handle_, wide);
    --programAssignments_;
    SendMessageW(handle_, EM_SETSEL, 0, 0);
    if (OnChange) OnChange(this);
}

void TEdit::Changed() {
    if (programAssignments_ == 0 && OnChange) OnChange(this);
}

std::int32_t TSpinEdit::Value() const {
    try {
        return TextToInt(Text());
    } catch (const EConvertError&) {
        return 0;
    }
}

void TSpinEdit::SetValue(std::int32_t value) { SetText(IntToText(value)); }

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

void TLabel::SetCaption(std::string_view caption) {
    caption_ = std::string(caption);
    const std::wstring wide = AnsiToWide(caption);
    HwndSetText(handle_, wide);
    HDC dc = GetDC(handle_);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(handle_, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(handle_, dc);
    SetWindowPos(handle_, nullptr, scaledLeft_, scaledTop_, extent.cx, tm.tmHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(GetParent(handle_), nullptr, TRUE);
}

void TStatusBar::SetPanelText(int index, std::string_view text) {
    if (texts_[index] == text) return;
    texts_[index] = std::string(text);
    const std::wstring wide = AnsiToWide(text);
    const WPARAM flags = index == 2 ? SBT_NOBORDERS : 0;
    SendMessageW(handle_, SB_SETTEXTW, static_cast<WPARAM>(index) | flags, reinterpret_cast<LPARAM>(wide.c_str()));
}

int TPageControl::ActivePageIndex() const {
    return static_cast<int>(SendMessageW(handle_, TCM_GETCURSEL, 0, 0));
}

void TPageControl::SetActivePageIndex(int index) {
    SendMessageW(handle_, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    const HWND focus = GetFocus();
    for (int i = 0; i < 2; ++i) {
        if (!pages[i]) continue;
        const HWND page = pages[i]->Handle();
        if (i != index && (focus == page || IsChild(page, focus))) SetFocus(handle_);
        ShowWindow(page, i == index ? SW_SHOW : SW_HIDE);
    }
}

void TMemo::Clear() { HwndSetText(handle_, L""); }

std::wstring TMemo::Text() const { return HwndGetText(handle_); }

std::size_t TMemo::Length() const {
    const LRESULT n = SendMessageW(handle_, WM_GETTEXTLENGTH, 0, 0);
    return n < 0 ? 0 : static_cast<std::size_t>(n);
}

bool TMemo::EndsWithLineBreakOrEmpty() const {
    const LRESULT length = SendMessageW(handle_, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return true;
    // The last line starts at the very end exactly when a line break ends the text.
    const LRESULT lines = SendMessageW(handle_, EM_GETLINECOUNT, 0, 0);
    return SendMessageW(handle_, EM_LINEINDEX, static_cast<WPARAM>(lines - 1), 0) == length;
}

bool TMemo::AppendText(std::wstring_view text) {
    if (text.empty()) return true;
    const std::size_t before = Length();
    const std::wstring z(text);
    // Hidden from drawing during the edit, as WM_SETREDRAW would: the control
    // otherwise redraws its scroll bars on every change, which can cost more
    // than the change. Repaint shows the result.
    const LONG style = GetWindowLongW(handle_, GWL_STYLE);
    if (style & WS_VISIBLE) SetWindowLongW(handle_, GWL_STYLE, style & ~WS_VISIBLE);
    SendMessageW(handle_, EM_SETSEL, before, before);
    SendMessageW(handle_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(z.c_str()));
    const bool taken = Length() == before + text.size();
    if (!taken) {
        // Partly taken: take it back, so the memo holds whole lines only.
        SendMessageW(handle_, EM_SETSEL, before, static_cast<LPARAM>(Length()));
        SendMessageW(handle_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    }
    if (style & WS_VISIBLE) SetWindowLongW(handle_, GWL_STYLE, style);
    // The replacement left the caret after the text and scrolled it into view.
    return taken;
}

void TMemo::Repaint() { RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME); }

void TMemo::SelectAllAndCopy() {
    SendMessageW(handle_, EM_SETSEL, 0, -1);
    if (Length() > 0) SendMessageW(handle_, WM_COPY, 0, 0);
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

RECT TImage::PictureRect(const RECT& bounds) const {
    RECT r = bounds;
    if (!proportional || pictureWidth <= 0 || pictureHeight <= 0) return r;
    const int w = bounds.right - bounds.left;
    const int h = bounds.bottom - bounds.top;
    // Fit inside the bounds, keeping the aspect ratio, at the top-left corner.
    if (static_cast<long long>(w) * pictureHeight <= static_cast<long long>(h) * pictureWidth) {
        r.bottom = r.top + MulDiv(w, pictureHeight, pictureWidth);
    } else {
        r.right = r.left + MulDiv(h, pictureWidth, pictureHeight);
    }
    return r;
}

void TImage::Paint(HDC dc, const RECT& bounds) const {
    if (!bitmap) return;
    const RECT r = PictureRect(bounds);
    HDC mem = CreateCompatibleDC(dc);
    const HGDIOBJ old = SelectObject(mem, bitmap);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, mem, 0, 0, pictureWidth, pictureHeight, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

}  // namespace kestrino
