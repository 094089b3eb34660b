#pragma once
// Wrappers over the platform's controls. Each creates its window from a small
// arguments struct, keeps its handle and state to itself, handles its own
// notifications and colours, and reaches the form through callbacks. Texts
// are the program's byte strings; ui/WinText converts them at the window.
#include <windows.h>

#include <commctrl.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

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

// How a control asks its parent to draw it: a text colour (an RGB value, or
// a system colour where rgb is CLR_INVALID), a system background colour, and
// whether the text is drawn without filling its background.
struct TColors {
    COLORREF rgb = CLR_INVALID;
    int text = COLOR_BTNTEXT;
    int background = COLOR_BTNFACE;
    bool transparent = false;
    // Sets up the device context; returns the background brush.
    LRESULT Apply(HDC dc) const;
};

// Makes a child window. Throws Exception when the system refuses, so that
// no half-built window is ever shown. Tests may replace it to refuse.
using CreateWindowFn = HWND(WINAPI*)(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID);
extern CreateWindowFn createWindow;
HWND CreateChecked(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style, HWND parent, void* param);

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
        DWORD style = 0;
        HWND parent = nullptr;
        TColors colors;
        // A text fixed in the program in UTF-16, used instead of text.
        std::wstring_view fixedText;
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

// Single-line edit. Every change of its text runs OnChange once, after the new
// text is in place; an assignment by the program runs it before returning.
class TEdit : public TControl {
public:
    struct Args {
        HWND parent = nullptr;
        std::string text;
        bool readOnly = false;
        TColors colors{CLR_INVALID, COLOR_WINDOWTEXT, COLOR_WINDOW, false};
    };
    void Create(const Args& args);

    // Where the caret stands after the program assigns a text.
    enum class Caret {
        Start,      // an assignment of the program's own
        End,        // a rewrite of what the user typed: typing goes on after it
        SelectAll,  // a placeholder the next typed character replaces
    };
    std::string Text() const;
    // Same text: nothing happens.
    void SetText(std::string_view text, Caret caret = Caret::Start);
    TNotifyEvent OnChange;

protected:
    void Create(const Args& args, DWORD extraStyle);
    void Command(UINT code) override;

private:
    int programAssignments_ = 0;
};

// Edit with two step buttons inside its right end; its value is its text read
// by TextToInt, 0 when that fails. No bounds: steps wrap in 32-bit arithmetic.
class TSpinEdit : public TEdit {
public:
    void Create(const Args& args);
    std::int32_t Value() const;
    void SetValue(std::int32_t value, Caret caret = Caret::Start);
    void Step(std::int32_t delta);
    HWND UpDown() const { return upDown_; }
    // Width of the step buttons, in pixels; the text stops short of them.
    void SetButtonWidth(int pixels);
    // Typed characters it takes: digits, signs, the locale's decimal separator
    // and control characters other than Enter.
    static bool AcceptsChar(wchar_t ch, std::wstring_view decimalSeparator);

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void PlaceButtons();
    HWND upDown_ = nullptr;
    int buttonWidth_ = 15;
    std::wstring decimalSeparator_;
};

// A caption that keeps its left edge and sizes itself to its text.
class TLabel : public TControl {
public:
    struct Args {
        HWND parent = nullptr;
        std::string caption;
        TColors colors{CLR_INVALID, COLOR_BTNTEXT, COLOR_BTNFACE, true};
    };
    void Create(const Args& args);
    void SetCaption(std::string_view caption);
    // Where the caption's top-left corner stands, in the parent's pixels.
    void SetOrigin(int left, int top);

private:
    std::string caption_;
    int left_ = 0;
    int top_ = 0;
};

class TButton : public TControl {
public:
    struct Args {
        HWND parent = nullptr;
        std::string caption;
    };
    void Create(const Args& args);
    TNotifyEvent OnClick;

protected:
    void Command(UINT code) override;
};

class TStatusBar : public TControl {
public:
    static constexpr int kPanels = 4;
    struct Args {
        HWND parent = nullptr;
        // Panels drawn without a bevel, from the start.
        std::initializer_list<int> borderless;
    };
    void Create(const Args& args);
    // The same text again does nothing.
    void SetPanelText(int index, std::string_view text);
    // Right edges of the panels in pixels; -1 for the last, to the bar's end.
    void SetPanelEdges(const int (&edges)[kPanels]);

private:
    void ShowPanel(int index) const;
    std::string texts_[kPanels];
    bool borderless_[kPanels] = {};
};

// A window of our own that holds other controls (the group box, the tab
// pages) and passes their notifications on to the wrappers that own them.
class TPanel : public TControl {
public:
    struct Args {
        HWND parent = nullptr;
        bool visible = true;
    };
    void Create(const Args& args);
    // Draws what the panel shows besides its children.
    std::function<void(HDC dc, const RECT& client, HFONT font)> OnPaint;

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    HFONT font_ = nullptr;
};

class TTabSheet : public TPanel {
public:
    std::string caption;
};

class TPageControl : public TControl {
public:
    void Create(HWND parent);
    // Adds a tab with the sheet's caption and makes the sheet's window.
    void AddPage(TTabSheet& sheet);
    int PageCount() const { return static_cast<int>(pages_.size()); }
    int ActivePageIndex() const;
    void SetActivePageIndex(int index);
    // Where the pages stand, in the page control's client pixels.
    RECT PageRect() const;

protected:
    bool Notify(const NMHDR& header, LRESULT& result) override;

private:
    std::vector<TTabSheet*> pages_;
};

class TMemo : public TControl {
public:
    struct Args {
        HWND parent = nullptr;
        std::string text;
        // A text fixed in the program in UTF-16 (the Tips), used instead of text.
        std::wstring_view fixedText;
        bool readOnly = false;
        bool scrollBars = false;
        TColors colors{CLR_INVALID, COLOR_WINDOWTEXT, COLOR_WINDOW, false};
    };
    void Create(const Args& args);

    void Clear();
    std::string Text() const;
    // Adds text at the end, caret after it and in view, without drawing it:
    // Repaint shows it. Returns false, adding nothing, when the control
    // refuses the text (its limit, or out of space).
    bool AppendText(std::string_view text);
    void Repaint();
    bool EndsWithLineBreakOrEmpty() const;
    std::size_t Length() const;
    // Most characters the control takes.
    std::size_t Limit() const;
    void SelectAllAndCopy();
    // A context menu was asked for, at a screen point or, from the keyboard, at the caret.
    std::function<void(POINT screen)> OnContextMenu;

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
};

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

// A picture drawn by its parent: it has no window of its own.
class TImage : public TObject {
public:
    TImage() = default;
    TImage(const TImage&) = delete;
    TImage& operator=(const TImage&) = delete;
    ~TImage() override;

    TBounds design;
    bool proportional = false;  // scale to fit keeping the aspect ratio
    int pictureWidth = 0;
    int pictureHeight = 0;
    // Takes the bitmap over; it is deleted with the image.
    void SetBitmap(HBITMAP bitmap, int width, int height);
    // Where the picture lands inside the bounds, in the bounds' units.
    RECT PictureRect(const RECT& bounds) const;
    void Paint(HDC dc, const RECT& bounds) const;

private:
    HBITMAP bitmap_ = nullptr;
};

}  // namespace kestrino
