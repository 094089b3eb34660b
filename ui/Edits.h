#pragma once
// The single-line edit and the spin edit.
#include <cstdint>
#include <string>
#include <string_view>

#include "ui/Controls.h"

namespace kestrino {

// Single-line edit. Every change of its text runs OnChange once, after the new
// text is in place; an assignment by the program runs it before returning.
class TEdit : public TControl {
public:
    struct Args {
        HWND parent = nullptr;
        std::string text;
        bool readOnly = false;
        TTextColor textColor = TSystemColor{COLOR_WINDOWTEXT};
        TSystemColor background{COLOR_WINDOW};
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

}  // namespace kestrino
