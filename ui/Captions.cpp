#include "ui/Captions.h"

#include "ui/WinText.h"

namespace kestrino {

void TLabel::Create(const Args& args) {
    caption_ = args.caption;
    // A caption lies beneath the controls it overlaps and never paints over
    // them, as one drawn on its parent would.
    CreateWindowFor({
        .className = WC_STATICW,
        .text = args.caption,
        .style = WS_VISIBLE | WS_CLIPSIBLINGS | SS_LEFT | SS_NOPREFIX,
        .parent = args.parent,
        .colors = {.text = args.textColor, .background = {COLOR_BTNFACE}, .transparent = true},
    });
}

void TLabel::SetOrigin(int left, int top) {
    left_ = left;
    top_ = top;
    SetCaption(caption_);
}

void TLabel::SetCaption(std::string_view caption) {
    caption_ = std::string(caption);
    HwndSetText(Handle(), caption_);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(Handle(), WM_GETFONT, 0, 0));
    const TFontMeasure measure = MeasureFont(Handle(), font, AnsiToWide(caption_));
    // Beneath every sibling, including those made after it.
    SetWindowPos(Handle(), HWND_BOTTOM, left_, top_, measure.extent.cx, measure.metrics.tmHeight, SWP_NOACTIVATE);
    InvalidateRect(GetParent(Handle()), nullptr, TRUE);
}

void TButton::Create(const Args& args) {
    CreateWindowFor({
        .className = WC_BUTTONW,
        .text = args.caption,
        .style = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
        .parent = args.parent,
    });
}

void TButton::Command(UINT code) {
    if (code == BN_CLICKED && OnClick) OnClick(this);
}

}  // namespace kestrino
