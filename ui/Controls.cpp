#include "ui/Controls.h"

#include <commdlg.h>

#include <algorithm>

#include "core/Exception.h"
#include "core/NumberText.h"
#include "ui/Application.h"
#include "ui/WinText.h"

namespace kestrino {

namespace {
constexpr wchar_t kPanelClass[] = L"TKestrinoPanel";
// Every wrapper subclasses its window under this id, and names itself in this
// window property so that notifications find it.
constexpr UINT_PTR kWrapperSubclass = 1;
constexpr wchar_t kWrapperProperty[] = L"Kestrino.Control";
}  // namespace

// ---------------------------------------------------------------------------
// Creation and routing

CreateWindowFn createWindow = ::CreateWindowExW;

HWND CreateChecked(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style, HWND parent, void* param) {
    const HWND hwnd = createWindow(exStyle, className, text, style, 0, 0, 0, 0, parent, nullptr,
                                   GetModuleHandleW(nullptr), param);
    if (!hwnd) {
        const DWORD error = GetLastError();
        throw Exception("Cannot create the window's control " + WideToAnsi(className) + ". " + SystemErrorText(error));
    }
    return hwnd;
}

LRESULT TColors::Apply(HDC dc) const {
    SetTextColor(dc, rgb != CLR_INVALID ? rgb : GetSysColor(text));
    SetBkColor(dc, GetSysColor(background));
    if (transparent) SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
}

TControl::~TControl() {
    if (!handle_) return;
    RemovePropW(handle_, kWrapperProperty);
    RemoveWindowSubclass(handle_, SubclassProc, kWrapperSubclass);
}

void TControl::CreateWindowFor(const Args& args) {
    colors_ = args.colors;
    const std::wstring text = args.fixedText.empty() ? AnsiToWide(args.text) : std::wstring(args.fixedText);
    handle_ = CreateChecked(args.exStyle, args.className, text.empty() ? nullptr : text.c_str(), WS_CHILD | args.style,
                            args.parent, this);
    SetPropW(handle_, kWrapperProperty, this);
    SetWindowSubclass(handle_, SubclassProc, kWrapperSubclass, reinterpret_cast<DWORD_PTR>(this));
}

TControl* TControl::Owner(HWND hwnd) { return hwnd ? static_cast<TControl*>(GetPropW(hwnd, kWrapperProperty)) : nullptr; }

LRESULT CALLBACK TControl::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data) {
    auto* self = reinterpret_cast<TControl*>(data);
    if (msg == WM_NCDESTROY) {
        RemovePropW(hwnd, kWrapperProperty);
        RemoveWindowSubclass(hwnd, SubclassProc, id);
        self->handle_ = nullptr;
        return DefSubclassProc(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    Dispatch([&] { result = self->WndProc(msg, wp, lp); });
    return result;
}

LRESULT TControl::WndProc(UINT msg, WPARAM wp, LPARAM lp) { return Default(msg, wp, lp); }

LRESULT TControl::Default(UINT msg, WPARAM wp, LPARAM lp) { return DefSubclassProc(handle_, msg, wp, lp); }

LRESULT TControl::DefaultColors(HDC dc) { return TColors{}.Apply(dc); }

bool TControl::Route(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
    case WM_COMMAND:
        if (TControl* owner = Owner(reinterpret_cast<HWND>(lp))) {
            owner->Command(HIWORD(wp));
            result = 0;
            return true;
        }
        return false;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lp);
        TControl* owner = Owner(header->hwndFrom);
        return owner && owner->Notify(*header, result);
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        const auto dc = reinterpret_cast<HDC>(wp);
        const TControl* owner = Owner(reinterpret_cast<HWND>(lp));
        result = owner ? owner->colors_.Apply(dc) : DefaultColors(dc);
        return true;
    }
    }
    return false;
}

// ---------------------------------------------------------------------------
// Edits

void TEdit::Create(const Args& args) { Create(args, 0); }

void TEdit::Create(const Args& args, DWORD extraStyle) {
    CreateWindowFor({WS_EX_CLIENTEDGE, WC_EDITW, args.text,
                     WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | (args.readOnly ? ES_READONLY : 0) | extraStyle,
                     args.parent, args.colors, {}});
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

// ---------------------------------------------------------------------------
// Labels, buttons, the status bar

void TLabel::Create(const Args& args) {
    caption_ = args.caption;
    // A caption lies beneath the controls it overlaps and never paints over
    // them, as one drawn on its parent would.
    CreateWindowFor({0, WC_STATICW, args.caption, WS_VISIBLE | WS_CLIPSIBLINGS | SS_LEFT | SS_NOPREFIX, args.parent,
                     args.colors, {}});
}

void TLabel::SetOrigin(int left, int top) {
    left_ = left;
    top_ = top;
    SetCaption(caption_);
}

void TLabel::SetCaption(std::string_view caption) {
    caption_ = std::string(caption);
    HwndSetText(Handle(), caption_);
    const std::wstring wide = AnsiToWide(caption_);
    HDC dc = GetDC(Handle());
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(Handle(), WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(Handle(), dc);
    // Beneath every sibling, including those made after it.
    SetWindowPos(Handle(), HWND_BOTTOM, left_, top_, extent.cx, tm.tmHeight, SWP_NOACTIVATE);
    InvalidateRect(GetParent(Handle()), nullptr, TRUE);
}

void TButton::Create(const Args& args) {
    CreateWindowFor({0, WC_BUTTONW, args.caption, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, args.parent, {}, {}});
}

void TButton::Command(UINT code) {
    if (code == BN_CLICKED && OnClick) OnClick(this);
}

void TStatusBar::Create(const Args& args) {
    CreateWindowFor({0, STATUSCLASSNAMEW, {}, WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN, args.parent, {}, {}});
    for (const int index : args.borderless) borderless_[index] = true;
}

void TStatusBar::SetPanelText(int index, std::string_view text) {
    if (texts_[index] == text) return;
    texts_[index] = std::string(text);
    ShowPanel(index);
}

void TStatusBar::SetPanelEdges(const int (&edges)[kPanels]) {
    SendMessageW(Handle(), SB_SETPARTS, kPanels, reinterpret_cast<LPARAM>(edges));
    // A panel's drawing flags come with its text: every panel gets both once
    // it exists, so that a borderless panel is so before any text is shown.
    for (int i = 0; i < kPanels; ++i) ShowPanel(i);
}

void TStatusBar::ShowPanel(int index) const {
    const std::wstring wide = AnsiToWide(texts_[index]);
    const WPARAM flags = borderless_[index] ? SBT_NOBORDERS : 0;
    SendMessageW(Handle(), SB_SETTEXTW, static_cast<WPARAM>(index) | flags, reinterpret_cast<LPARAM>(wide.c_str()));
}

// ---------------------------------------------------------------------------
// Containers

void TPanel::Create(const Args& args) {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = PanelProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kPanelClass;
        return RegisterClassExW(&wc) != 0;
    }();
    if (!registered) throw Exception("Cannot register the window class of the window's panels");
    const DWORD visible = args.visible ? WS_VISIBLE : 0;
    CreateWindowFor({WS_EX_CONTROLPARENT, kPanelClass, {}, WS_CLIPCHILDREN | visible, args.parent, {}, {}});
}

LRESULT CALLBACK TPanel::PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(hwnd, msg, wp, lp); }

LRESULT TPanel::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SETFONT:
        font_ = reinterpret_cast<HFONT>(wp);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(font_);
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(Handle(), &ps);
        if (OnPaint) {
            RECT client{};
            GetClientRect(Handle(), &client);
            OnPaint(dc, client, font_);
        }
        EndPaint(Handle(), &ps);
        return 0;
    }
    }
    // Children's notifications go on to the wrappers that own the children.
    if (LRESULT result = 0; Route(msg, wp, lp, result)) return result;
    return Default(msg, wp, lp);
}

void TPageControl::Create(HWND parent) {
    CreateWindowFor({0, WC_TABCONTROLW, {}, WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, parent, {}, {}});
}

void TPageControl::AddPage(TTabSheet& sheet) {
    std::wstring caption = AnsiToWide(sheet.caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageW(Handle(), TCM_INSERTITEMW, pages_.size(), reinterpret_cast<LPARAM>(&item));
    sheet.Create({Handle(), false});
    pages_.push_back(&sheet);
}

int TPageControl::ActivePageIndex() const { return static_cast<int>(SendMessageW(Handle(), TCM_GETCURSEL, 0, 0)); }

void TPageControl::SetActivePageIndex(int index) {
    SendMessageW(Handle(), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    const HWND focus = GetFocus();
    for (int i = 0; i < PageCount(); ++i) {
        const HWND page = pages_[static_cast<std::size_t>(i)]->Handle();
        if (i != index && (focus == page || IsChild(page, focus))) SetFocus(Handle());
        ShowWindow(page, i == index ? SW_SHOW : SW_HIDE);
    }
}

RECT TPageControl::PageRect() const {
    RECT page{};
    GetClientRect(Handle(), &page);
    SendMessageW(Handle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
    return page;
}

bool TPageControl::Notify(const NMHDR& header, LRESULT& result) {
    if (header.code != TCN_SELCHANGE) return false;
    SetActivePageIndex(ActivePageIndex());
    result = 0;
    return true;
}

// ---------------------------------------------------------------------------
// The memo

void TMemo::Create(const Args& args) {
    const DWORD scroll = args.scrollBars ? WS_VSCROLL | WS_HSCROLL | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN : 0;
    CreateWindowFor({WS_EX_CLIENTEDGE, WC_EDITW, args.text,
                     WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | scroll | (args.readOnly ? ES_READONLY : 0), args.parent,
                     args.colors, args.fixedText});
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
    // Hidden from drawing during the edit, as WM_SETREDRAW would: the control
    // otherwise redraws its scroll bars on every change, which can cost more
    // than the change. Repaint shows the result.
    const LONG style = GetWindowLongW(Handle(), GWL_STYLE);
    if (style & WS_VISIBLE) SetWindowLongW(Handle(), GWL_STYLE, style & ~WS_VISIBLE);
    SendMessageW(Handle(), EM_SETSEL, before, before);
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

// ---------------------------------------------------------------------------
// Menu, dialog, picture

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

TImage::~TImage() {
    if (bitmap_) DeleteObject(bitmap_);
}

void TImage::SetBitmap(HBITMAP bitmap, int width, int height) {
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = bitmap;
    pictureWidth = width;
    pictureHeight = height;
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
    if (!bitmap_) return;
    const RECT r = PictureRect(bounds);
    HDC mem = CreateCompatibleDC(dc);
    const HGDIOBJ old = SelectObject(mem, bitmap_);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, mem, 0, 0, pictureWidth, pictureHeight, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

}  // namespace kestrino
