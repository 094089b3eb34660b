// The main window's message routing, keyboard and handlers. Creation and
// layout are in UnitMainLayout.cpp.
#include "ui/UnitMain.h"

#include "core/CheckDigit.h"
#include "core/ImeiList.h"
#include "core/NumberText.h"
#include "ui/MemoSink.h"
#include "ui/WinText.h"

namespace kestrino {

TFormKestrino* FormKestrino = nullptr;

void TFormKestrino::FormCreate(TObject* /*Sender*/) { pgc.SetActivePageIndex(0); }

void TFormKestrino::Show() { Application().ShowMainWindow(); }

std::int32_t TFormKestrino::Gen15(std::int64_t body) { return kestrino::Gen15(body); }

// ---------------------------------------------------------------------------
// Messages

bool TFormKestrino::IsOwnWindow(HWND hwnd) const { return hwnd && (hwnd == handle_ || IsChild(handle_, hwnd)); }

bool TFormKestrino::IsSingleLineEdit(HWND hwnd) const {
    return hwnd == edtFirstIMEI.Handle() || hwnd == edtLastIMEI.Handle() || hwnd == seQty.Handle();
}

LRESULT CALLBACK TFormKestrino::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<TFormKestrino*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->handle_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TFormKestrino*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->handle_ = nullptr;
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    Dispatch([&] { result = self->HandleMessage(msg, wp, lp); });
    return result;
}

LRESULT TFormKestrino::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    // Notifications of the controls go to the wrappers that own them.
    if (LRESULT result = 0; TControl::Route(msg, wp, lp, result)) return result;

    switch (msg) {
    case WM_COMMAND:
        // From the result page's menu.
        if (lp == 0 && HIWORD(wp) == 0) pm.Command(LOWORD(wp));
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE) {
            if (const HWND focus = GetFocus(); IsOwnWindow(focus) && focus != handle_) lastFocus_ = focus;
        } else if (!HIWORD(wp)) {
            if (lastFocus_ && IsWindow(lastFocus_) && IsWindowVisible(lastFocus_)) {
                SetFocus(lastFocus_);
            } else {
                FocusControl(edtFirstIMEI.Handle(), true);
            }
            return 0;
        }
        break;
    case WM_SIZE:
        if (wp != SIZE_MINIMIZED && StatusBar1.Handle()) DockControls();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(handle_, &ps);
        // Lies beneath the input group, which always covers it.
        Image1.Paint(dc, ScaledRect(Image1.design));
        EndPaint(handle_, &ps);
        return 0;
    }
    case WM_DPICHANGED: {
        dpi_ = HIWORD(wp);
        CreateFonts(dpi_);
        const auto* suggested = reinterpret_cast<const RECT*>(lp);
        SetWindowPos(handle_, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyLayout();
        return 0;
    }
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == SC_MINIMIZE && Application().Handle()) {
            // The task-bar entry belongs to the application window; it minimises for us.
            Application().Minimize();
            return 0;
        }
        break;
    case WM_CLOSE:
        // Asks nothing: a run in progress stops at its next batch, then the
        // event loop ends.
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(handle_, msg, wp, lp);
}

// ---------------------------------------------------------------------------
// Keyboard navigation, in the window's own tab order

void TFormKestrino::FocusControl(HWND control, bool byTab) {
    SetFocus(control);
    if (byTab && IsSingleLineEdit(control)) SendMessageW(control, EM_SETSEL, 0, -1);
}

void TFormKestrino::TabNavigate(bool backward) {
    const HWND memo = pgc.ActivePageIndex() == 0 ? mmoResult.Handle() : mmoHelp.Handle();
    const HWND order[] = {edtFirstIMEI.Handle(), Button1.Handle(), edtLastIMEI.Handle(), seQty.Handle(), pgc.Handle(), memo};
    constexpr int n = static_cast<int>(std::size(order));
    HWND focus = GetFocus();
    int current = -1;
    for (int i = 0; i < n && current < 0; ++i) {
        if (focus == order[i]) current = i;
    }
    // Inside a control (the spin edit's buttons) or on the hidden page's memo.
    for (int i = 0; i < n && current < 0; ++i) {
        if (IsChild(order[i], focus)) current = i;
    }
    const int next = current < 0 ? (backward ? n - 1 : 0) : (current + (backward ? n - 1 : 1)) % n;
    FocusControl(order[next], true);
}

bool TFormKestrino::PreTranslateMessage(MSG& msg) {
    if (msg.message != WM_KEYDOWN || !IsOwnWindow(msg.hwnd)) return false;
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    if (msg.wParam == VK_TAB && GetKeyState(VK_MENU) >= 0) {
        if (ctrl) {
            const HWND focus = GetFocus();
            if (focus == pgc.Handle() || IsChild(pgc.Handle(), focus)) {
                const int pages = pgc.PageCount();
                pgc.SetActivePageIndex((pgc.ActivePageIndex() + (shift ? pages - 1 : 1)) % pages);
            }
        } else {
            TabNavigate(shift);
        }
        return true;
    }
    if (msg.wParam == VK_ESCAPE && running_) {
        stopRun_ = true;
        return true;
    }
    if (msg.wParam == VK_RETURN && msg.hwnd == Button1.Handle() && !ctrl) {
        SendMessageW(Button1.Handle(), BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Handlers

void TFormKestrino::edtFirstIMEIChange(TObject* /*Sender*/) {
    const std::string typed = edtFirstIMEI.Text();
    const std::string text = RepairedFirstBody(typed);
    // The rewrite runs this handler again, nested, for the repaired text. The
    // caret goes where the user's typing continues; a "0" that stands for an
    // emptied field is selected, so that the next character replaces it.
    if (text != typed) edtFirstIMEI.SetText(text, typed.empty() ? TEdit::Caret::SelectAll : TEdit::Caret::End);
    lblIMEI14Len.SetCaption(IntToText(static_cast<std::int32_t>(text.size())));
    edtLastIMEI.SetText(LastImei14(text, seQty.Value()));
}

void TFormKestrino::seQtyChange(TObject* /*Sender*/) {
    if (seQty.Text().empty()) seQty.SetValue(0, TEdit::Caret::SelectAll);
    StatusBar1.SetPanelText(kPanelQuantity, IntToText(seQty.Value()));
    edtLastIMEI.SetText(LastImei14(edtFirstIMEI.Text(), seQty.Value()));
}

void TFormKestrino::Button1Click(TObject* /*Sender*/) {
    // The fields as they stand at this press. During a run the press only
    // leaves them here: the run stops at its next batch and this loop starts
    // the new one, so runs never nest and the last press wins.
    nextRun_ = RunRequest{edtFirstIMEI.Text(), seQty.Value()};
    if (running_) return;
    running_ = true;
    struct Finished {
        TFormKestrino& form;
        ~Finished() {
            form.running_ = false;
            form.nextRun_.reset();
        }
    } finished{*this};
    while (nextRun_ && !Application().Terminated()) {
        const RunRequest run = std::move(*nextRun_);
        nextRun_.reset();
        stopRun_ = false;
        RunList(run);
    }
}

void TFormKestrino::RunList(const RunRequest& run) {
    mmoResult.Clear();
    TMemoSink sink(
        mmoResult, [this](std::int32_t lines) { StatusBar1.SetPanelText(kPanelLines, "Lines = " + IntToText(lines)); },
        [this] { return nextRun_.has_value() || stopRun_ || Application().Terminated(); });
    try {
        BuildImeiList(run.first, run.quantity, sink);
    } catch (const RunStopped&) {
        return;
    } catch (...) {
        // The lines before the failing body are shown before the error is.
        try {
            sink.Flush(true);
        } catch (...) {
        }
        throw;
    }
    sink.Flush(true);
}

void TFormKestrino::CopytoClipboard1Click(TObject* /*Sender*/) { mmoResult.SelectAllAndCopy(); }

void TFormKestrino::SaveToTextFile1Click(TObject* /*Sender*/) {
    if (!dlgSave.Execute(handle_)) return;
    // The page as the window holds it, so that a character the code page
    // cannot hold is refused instead of saved as "?".
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(mmoResult.Handle())) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(mmoResult.Handle(), text.data(), static_cast<int>(text.size()))));
    SaveTextToFile(dlgSave.fileName, text, saveCalls);
}

}  // namespace kestrino
