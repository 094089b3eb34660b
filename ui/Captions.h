#pragma once
// The controls that show a caption: the label and the push button.
#include <string>
#include <string_view>

#include "ui/Controls.h"

namespace kestrino {

// A caption that keeps its left edge and sizes itself to its text.
class TLabel : public TControl {
public:
    struct Args {
        HWND parent = nullptr;
        std::string caption;
        TTextColor textColor = TSystemColor{COLOR_BTNTEXT};
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

}  // namespace kestrino
