#pragma once
// Thin wrappers over the platform's controls: each keeps its window handle and
// the behaviour the main window's handlers rely on.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

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

class TControl : public TObject {
public:
    HWND Handle() const { return handle_; }
    TBounds design;

protected:
    HWND handle_ = nullptr;
    friend class TFormKestrino;
};

// Single-line edit. Every change of its text runs OnChange once, after the new
// text is in place; an assignment by the program runs it before returning.
class TEdit : public TControl {
public:
    std::string Text() const;
    // Same text: nothing happens. Otherwise the caret ends at the start.
    void SetText(std::string_view text);
    TNotifyEvent OnChange;

    // EN_CHANGE from the control.
    void Changed();

protected:
    int programAssignments_ = 0;
};

// Edit with two step buttons; its value is its text read by TextToInt, 0 when
// that fails. No bounds: steps wrap in 32-bit arithmetic.
class TSpinEdit : public TEdit {
public:
    std::int32_t Value() const;
    void SetValue(std::int32_t value);
    void Step(std::int32_t delta);
    HWND UpDown() const { return upDown_; }
    // Typed characters it takes: digits, signs, the locale's decimal separator
    // and control characters other than Enter.
    static bool AcceptsChar(wchar_t ch, std::wstring_view decimalSeparator);

private:
    HWND upDown_ = nullptr;
    friend class TFormKestrino;
};

class TLabel : public TControl {
public:
    std::string Caption() const { return caption_; }
    // The label keeps its left edge and resizes to fit the caption.
    void SetCaption(std::string_view caption);

private:
    std::string caption_;
    int scaledLeft_ = 0;
    int scaledTop_ = 0;
    friend class TFormKestrino;
};

class TButton : public TControl {
public:
    TNotifyEvent OnClick;
};

class TStatusBar : public TControl {
public:
    static constexpr int kPanels = 4;
    std::string PanelText(int index) const { return texts_[index]; }
    // The same text again does nothing.
    void SetPanelText(int index, std::string_view text);

private:
    std::string texts_[kPanels];
};

// Group box and tab pages: containers that pass their children's
// notifications on to the main window.
class TPanel : public TControl {};

class TTabSheet : public TPanel {
public:
    std::wstring caption;
};

class TPageControl : public TControl {
public:
    int ActivePageIndex() const;
    void SetActivePageIndex(int index);
    TTabSheet* pages[2] = {};
};

class TMemo : public TControl {
public:
    void Clear();
    std::wstring Text() const;
    // Adds text at the end, caret after it and in view, without drawing it:
    // Repaint shows it. Returns false, adding nothing, when the control
    // refuses the text (its limit, or out of space).
    bool AppendText(std::wstring_view text);
    void Repaint();
    bool EndsWithLineBreakOrEmpty() const;
    std::size_t Length() const;
    void SelectAllAndCopy();
};

class TMenuItem : public TObject {
public:
    UINT id = 0;
    std::wstring caption;
    TNotifyEvent OnClick;
};

class TPopupMenu : public TObject {
public:
    HMENU Handle() const { return menu_; }

private:
    HMENU menu_ = nullptr;
    friend class TFormKestrino;
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
    TBounds design;
    bool proportional = false;  // scale to fit keeping the aspect ratio
    HBITMAP bitmap = nullptr;
    int pictureWidth = 0;
    int pictureHeight = 0;
    // Where the picture lands inside the bounds, in the bounds' units.
    RECT PictureRect(const RECT& bounds) const;
    void Paint(HDC dc, const RECT& bounds) const;
};

}  // namespace kestrino
