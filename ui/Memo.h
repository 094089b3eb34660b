#pragma once
// The multi-line edit: the result page, which a run fills by batched appends,
// and the Tips.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "ui/Controls.h"

namespace kestrino {

class TMemo : public TControl {
public:
    struct Args {
        HWND parent = nullptr;
        std::string text;
        // A text fixed in the program in UTF-16 (the Tips), used instead of text.
        std::wstring_view fixedText;
        bool readOnly = false;
        bool scrollBars = false;
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

}  // namespace kestrino
