#include "ui/Containers.h"

#include "core/Exception.h"
#include "ui/WinText.h"

namespace kestrino {

namespace {
constexpr wchar_t kPanelClass[] = L"TKestrinoPanel";
}

void TStatusBar::Create(const Args& args) {
    CreateWindowFor({
        .className = STATUSCLASSNAMEW,
        .style = WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN,
        .parent = args.parent,
    });
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

void TPanel::Create(const Args& args) {
    static const DWORD error =
        RegisterWindowClass({.name = kPanelClass, .proc = PanelProc, .cursor = ArrowCursor(), .background = FaceBrush()});
    if (error != 0) throw Exception("Cannot register the window class of the window's panels");
    CreateWindowFor({
        .exStyle = WS_EX_CONTROLPARENT,
        .className = kPanelClass,
        .style = WS_CLIPCHILDREN | (args.visible ? DWORD{WS_VISIBLE} : 0),
        .parent = args.parent,
    });
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
    CreateWindowFor({
        .className = WC_TABCONTROLW,
        .style = WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
        .parent = parent,
    });
}

void TPageControl::AddPage(TTabSheet& sheet) {
    std::wstring caption = AnsiToWide(sheet.caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageW(Handle(), TCM_INSERTITEMW, pages_.size(), reinterpret_cast<LPARAM>(&item));
    sheet.Create({.parent = Handle(), .visible = false});
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

}  // namespace kestrino
