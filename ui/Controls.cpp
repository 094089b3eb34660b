#include "ui/Controls.h"

#include "core/Exception.h"
#include "ui/Application.h"
#include "ui/WinText.h"

namespace kestrino {

namespace {
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
    SetTextColor(dc, std::visit([](const auto& color) { return color.Rgb(); }, text));
    SetBkColor(dc, background.Rgb());
    if (transparent) SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(background.index));
}

DWORD RegisterWindowClass(const TWindowClass& windowClass) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowClass.proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = windowClass.icon;
    wc.hIconSm = windowClass.icon;
    wc.hCursor = windowClass.cursor;
    wc.hbrBackground = windowClass.background;
    wc.lpszClassName = windowClass.name;
    return RegisterClassExW(&wc) ? DWORD{0} : GetLastError();
}

HCURSOR ArrowCursor() { return LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)); }

HBRUSH FaceBrush() { return reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1); }

TFontMeasure MeasureFont(HDC dc, HFONT font, std::wstring_view text) {
    TFontMeasure measure;
    const HGDIOBJ old = SelectObject(dc, font);
    GetTextMetricsW(dc, &measure.metrics);
    if (!text.empty()) GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &measure.extent);
    SelectObject(dc, old);
    return measure;
}

TFontMeasure MeasureFont(HWND hwnd, HFONT font, std::wstring_view text) {
    HDC dc = GetDC(hwnd);
    const TFontMeasure measure = MeasureFont(dc, font, text);
    ReleaseDC(hwnd, dc);
    return measure;
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

}  // namespace kestrino
