#pragma once
// The controls that hold or frame others: the panel (the group box, the tab
// pages), the page control and the status bar.
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Controls.h"

namespace kestrino {

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

}  // namespace kestrino
