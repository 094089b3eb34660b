#pragma once
// The base of the control wrappers. Each wrapper creates its window from a
// small arguments struct, filled by name, keeps its handle and state to itself,
// handles its own notifications and colours, and reaches the form through
// callbacks. Texts are the program's byte strings; ui/WinText converts them at
// the window. The wrappers live by kind in Edits, Captions, Containers, Memo,
// Menus and Picture.
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <string_view>
#include <variant>

namespace kestrino {

class TObject {
public:
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;

// Position and size in pixels at 96 dots per inch, relative to the parent.
struct TBounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// A colour of the user's scheme, by its system index (COLOR_WINDOW, ...).
struct TSystemColor {
    int index = COLOR_BTNFACE;
    COLORREF Rgb() const { return GetSysColor(index); }
};

// A colour fixed by the design, whatever the scheme.
struct TFixedColor {
    COLORREF rgb = 0;
    COLORREF Rgb() const { return rgb; }
};

using TTextColor = std::variant<TSystemColor, TFixedColor>;

// How a control asks its parent to draw it.
struct TColors {
    TTextColor text = TSystemColor{COLOR_BTNTEXT};
    TSystemColor background{COLOR_BTNFACE};
    // The text is drawn without filling its background.
    bool transparent = false;
    // Sets up the device context; returns the background brush.
    LRESULT Apply(HDC dc) const;
};

// Makes a child window. Throws Exception when the system refuses, so that
// no half-built window is ever shown. Tests may replace it to refuse.
using CreateWindowFn = HWND(WINAPI*)(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID);
extern CreateWindowFn createWindow;
HWND CreateChecked(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style, HWND parent, void* param);

// A window class of this program's own.
struct TWindowClass {
    const wchar_t* name = nullptr;
    WNDPROC proc = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
};
// Registers the class; 0, or the system's error code when it refuses.
DWORD RegisterWindowClass(const TWindowClass& windowClass);
// The arrow cursor and the face colour of dialogs, as the program's windows have them.
HCURSOR ArrowCursor();
HBRUSH FaceBrush();

// A font as it draws on a window's device context.
struct TFontMeasure {
    TEXTMETRICW metrics{};
    // Of the text measured, if any.
    SIZE extent{};
};
TFontMeasure MeasureFont(HDC dc, HFONT font, std::wstring_view text = {});
TFontMeasure MeasureFont(HWND hwnd, HFONT font, std::wstring_view text = {});

class TControl : public TObject {
public:
    TControl() = default;
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;
    ~TControl() override;

    HWND Handle() const { return handle_; }
    TBounds design;

    // Sends a child's notification (WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR*) to the
    // wrapper that owns the child; false when no wrapper owns it.
    static bool Route(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    // The colours of windows without a wrapper of their own.
    static LRESULT DefaultColors(HDC dc);

protected:
    struct Args {
        DWORD exStyle = 0;
        const wchar_t* className = nullptr;
        std::string text;
        // A text fixed in the program in UTF-16, used instead of text.
        std::wstring_view fixedText;
        DWORD style = 0;
        HWND parent = nullptr;
        TColors colors;
    };
    // Makes the window, ties it to this wrapper and subclasses it.
    void CreateWindowFor(const Args& args);

    virtual void Command(UINT /*code*/) {}
    virtual bool Notify(const NMHDR& /*header*/, LRESULT& /*result*/) { return false; }
    // The control's own messages, before the platform's handling.
    virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Default(UINT msg, WPARAM wp, LPARAM lp);

    TColors colors_;

private:
    static TControl* Owner(HWND hwnd);
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data);
    HWND handle_ = nullptr;
};

}  // namespace kestrino
