#pragma once
// The main window: its controls, start-up and the handlers of the user's actions.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/Application.h"
#include "core/Exception.h"
#include "core/ImeiList.h"
#include "ui/Controls.h"

namespace kestrino {

// Saving failed: the file could not be created or replaced, or not written.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// "Cannot create file "<path>". <reason>", the reason being the system's text
// for the error without trailing blanks, line breaks and periods.
EFCreateError CreateErrorFor(std::wstring_view path, DWORD error);

// Writes bytes to path without ever leaving a partial file under that name: a
// temporary file in the same folder is written, then replaces the target.
// Throws EFCreateError when the file cannot be created or replaced and
// EWriteError when writing fails. The seam lets tests fail a write.
using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
void SaveBytesToFile(std::wstring_view path, std::string_view bytes, WriteFileFn write = ::WriteFile);

class TFormKestrino : public TObject, private MessageFilter {
public:
    // Creates the window and its controls hidden, attaches the handlers and
    // scales the layout. FormCreate runs next, then the window is shown.
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

    // How the save writes its bytes; tests replace it to fail a write.
    WriteFileFn saveWrite = ::WriteFile;

    // Most characters the result page takes; a run stops there with a message.
    static constexpr std::size_t kResultCapacity = 64u << 20;

    // Layout factor: the window font's text height over its 13 px at 96 dpi.
    int Scale(int designPixels) const { return MulDiv(designPixels, textHeight_, 13); }
    RECT ScaledRect(const TBounds& b) const;

    // The window's progress sink: lines are collected and appended in one edit
    // about every 16 ms, when the status bar is updated and pending events are
    // processed. The memo ends byte for byte as appending each line would leave it.
    class TMemoSink final : public ProgressSink {
    public:
        explicit TMemoSink(TFormKestrino& form);
        void AddLine(std::string_view line) override;
        void LinesDone(std::int32_t count) override;
        // Appends what is collected, shows the count, processes pending events;
        // the last flush of a run always repaints the memo. Throws when the
        // result page can take no more lines.
        void Flush(bool last = false);

    private:
        static constexpr ULONGLONG kSliceMs = 16;
        // Longest time between two rounds of event processing that batches
        // aim at. An append costs the memo a fixed part, which grows with the
        // lines it holds, plus a part per line; both are measured as the run goes.
        static constexpr double kGapMs = 30.0;
        static constexpr double kLongestAppendMs = 250.0;
        // Time between two repaints of the memo, as a multiple of what the
        // last one took, so that painting stays a small share of the run.
        static constexpr double kRepaintShare = 8.0;
        static constexpr double kCountIntervalMs = 100.0;
        void AppendPending();
        void LearnAppendCost(std::size_t lines, double ms);
        void PlanNextBatch(double eventsMs);

        TFormKestrino& form_;
        std::wstring pending_;
        std::vector<std::size_t> lineEnds_;
        std::size_t linesWritten_ = 0;
        std::int32_t count_ = 0;
        std::size_t batchLimit_ = 256;
        double perLineMs_ = 0;
        double fixedMs_ = 0;
        double eventsMs_ = 0;
        double repaintMs_ = 0;
        double nextRepaintMs_ = 0;
        double lastCountMs_ = 0;
        std::size_t calibrationLines_ = 0;
        double calibrationMs_ = 0;
        ULONGLONG lastFlush_;
    };

private:

    bool PreTranslateMessage(MSG& msg) override;
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data);
    LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT HandleSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id);

    void CreateControls();
    void CreateFonts(int dpi);
    void DeleteFonts();
    void ApplyLayout();
    void DockControls();
    void PlaceSpinButtons();
    void OnCommand(HWND control, UINT code, UINT id);
    LRESULT OnCtlColor(HDC dc, HWND control);
    void FocusControl(HWND control, bool byTab);
    void TabNavigate(bool backward);
    bool IsOwnWindow(HWND hwnd) const;
    void PaintPanel(HWND hwnd);
    void ShowResultMenu(LPARAM at);

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
    std::wstring decimalSeparator_;
};

// The one instance, from its creation at start-up to the end of the program.
extern TFormKestrino* FormKestrino;

// The text of the Tips page.
extern const wchar_t kTipsText[];

}  // namespace kestrino
