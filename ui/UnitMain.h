#pragma once
// The main window: its controls, start-up and the handlers of the user's actions.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "ui/Application.h"
#include "ui/Captions.h"
#include "ui/Containers.h"
#include "ui/Controls.h"
#include "ui/Edits.h"
#include "ui/Memo.h"
#include "ui/Menus.h"
#include "ui/Picture.h"
#include "ui/FileSave.h"

namespace kestrino {

// The window's members follow the form designer's naming: a kind prefix
// (edt, lbl, se, mmo, pgc, pm, dlg) or a kind name and a serial number
// (Button1, Label1, GroupBox1). Handlers are named after control and event.
class TFormKestrino : public TObject, private MessageFilter {
public:
    // The window's designed client size, in pixels at 96 dpi.
    static constexpr int kDesignWidth = 660;
    static constexpr int kDesignHeight = 433;
    // Status bar panels: the quantity, and the count of the latest run.
    static constexpr int kPanelQuantity = 0;
    static constexpr int kPanelLines = 3;

    // Creates the window and its controls hidden, attaches the handlers and
    // scales the layout. FormCreate runs next, then the window is shown.
    // Throws, leaving no window behind, when any part cannot be created.
    TFormKestrino();
    ~TFormKestrino() override;
    TFormKestrino(const TFormKestrino&) = delete;
    TFormKestrino& operator=(const TFormKestrino&) = delete;

    HWND Handle() const { return handle_; }
    void Show();

    TStatusBar StatusBar1;
    TPanel GroupBox1;
    TEdit edtFirstIMEI;
    TButton Button1;
    TLabel Label1;
    TLabel lblIMEI14Len;
    TPageControl pgc;
    TTabSheet TabSheet1;
    TTabSheet TabSheet2;
    TMemo mmoResult;
    TMemo mmoHelp;
    TPopupMenu pm;
    TLabel Label2;
    TLabel Label3;
    TEdit edtLastIMEI;
    TSpinEdit seQty;
    TMenuItem SaveToTextFile1;
    TSaveDialog dlgSave;
    TMenuItem CopytoClipboard1;
    TImage Image1;
    TImage Image2;

    void Button1Click(TObject* Sender);
    void seQtyChange(TObject* Sender);
    void edtFirstIMEIChange(TObject* Sender);
    void FormCreate(TObject* Sender);
    // The check digit; the window reaches it only through the list builder.
    static std::int32_t Gen15(std::int64_t body);
    void SaveToTextFile1Click(TObject* Sender);
    void CopytoClipboard1Click(TObject* Sender);

    // Whether a run of Builder is writing its list. Runs never nest: a press
    // during a run replaces it, Escape stops it, closing the window ends it.
    bool Running() const { return running_; }

    // The system calls the save writes and replaces its file through; tests
    // replace one to fail a save.
    fileio::FileSystemCalls saveCalls;

    // Layout factor: the window font's text height over its 13 px at 96 dpi.
    int Scale(int designPixels) const { return MulDiv(designPixels, textHeight_, 13); }
    RECT ScaledRect(const TBounds& b) const;

private:
    // Creation and layout (UnitMainLayout.cpp).
    static void RegisterFormClass();
    void CreateControls();
    void CreateFonts(int dpi);
    void DeleteFonts();
    void ApplyLayout();
    void DockControls();
    void PaintGroupBox(HDC dc, const RECT& client, HFONT font);

    // Messages and keyboard (UnitMain.cpp).
    bool PreTranslateMessage(MSG& msg) override;
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    void FocusControl(HWND control, bool byTab);
    void TabNavigate(bool backward);
    bool IsOwnWindow(HWND hwnd) const;
    bool IsSingleLineEdit(HWND hwnd) const;

    // Runs (UnitMain.cpp).
    struct RunRequest {
        std::string first;
        std::int32_t quantity;
    };
    void RunList(const RunRequest& run);
    bool running_ = false;
    bool stopRun_ = false;
    // The fields at the latest press of Builder, until a run takes them.
    std::optional<RunRequest> nextRun_;

    HWND handle_ = nullptr;
    int dpi_ = 96;
    int textHeight_ = 13;
    HWND lastFocus_ = nullptr;
    HFONT windowFont_ = nullptr;
    HFONT groupFont_ = nullptr;
    HFONT labelFont_ = nullptr;
    HFONT lengthFont_ = nullptr;
    HFONT editFont_ = nullptr;
    HFONT qtyFont_ = nullptr;
};

// The one instance, from its creation at start-up to the end of the program.
extern TFormKestrino* FormKestrino;

// The text of the Tips page: UTF-16, so that no code page can lose its Chinese.
extern const wchar_t kTipsText[];

}  // namespace kestrino
