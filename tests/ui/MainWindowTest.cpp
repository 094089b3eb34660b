// The main window as it starts: layout, fonts, keyboard, pages, tips, the
// application title, the error box and shut-down.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "tests/common/KnownLists.h"
#include "tests/ui/UiHarness.h"
#include "tools/FindChild.h"
#include "ui/WinText.h"

namespace kestrino::test {
namespace {

RECT RectIn(HWND child, HWND parent) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

LOGFONTW FontOf(HWND hwnd) {
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf;
}

TEST_F(FormTest, StartsWithTheDesignedValuesAndTheResultPage) {
    EXPECT_EQ(Text(form->Handle()), L"Kestrino 1.0 Belta");
    EXPECT_EQ(Text(form->edtFirstIMEI.Handle()), AnsiToWide(known::kFirstBody));
    EXPECT_EQ(Text(form->seQty.Handle()), std::to_wstring(known::kQuantity));
    EXPECT_EQ(Text(form->edtLastIMEI.Handle()), L"");
    EXPECT_EQ(Text(form->lblIMEI14Len.Handle()), L"");
    for (int panel = 0; panel < 4; ++panel) EXPECT_EQ(PanelText(*form, panel), L"") << "panel " << panel;
    EXPECT_EQ(form->pgc.ActivePageIndex(), 0);
    EXPECT_TRUE(IsWindowVisible(form->mmoResult.Handle()));
    EXPECT_FALSE(IsWindowVisible(form->mmoHelp.Handle()));
    EXPECT_EQ(Text(form->mmoResult.Handle()), L"");

    // The first body has the focus, its whole text selected.
    EXPECT_EQ(GetFocus(), form->edtFirstIMEI.Handle());
    EXPECT_EQ(Selection(form->edtFirstIMEI.Handle()), std::make_pair(DWORD{0}, DWORD{14}));
}

TEST_F(FormTest, KeepsTheDesignedGeometryAtNinetySixDpi) {
    ASSERT_EQ(form->Scale(100), 100) << "these figures hold at 96 dpi";
    RECT client{};
    GetClientRect(form->Handle(), &client);
    EXPECT_EQ(client.right, 660);
    EXPECT_EQ(client.bottom, 433);

    struct Row {
        const char* name;
        HWND control;
        HWND parent;
        RECT expected;
    };
    const HWND group = form->GroupBox1.Handle();
    const HWND window = form->Handle();
    const Row rows[] = {
        {"GroupBox1", group, window, {0, 0, 660, 97}},
        {"StatusBar1", form->StatusBar1.Handle(), window, {0, 414, 660, 433}},
        {"pgc", form->pgc.Handle(), window, {0, 97, 660, 414}},
        {"edtFirstIMEI", form->edtFirstIMEI.Handle(), group, {88, 16, 233, 40}},
        {"Button1", form->Button1.Handle(), group, {414, 16, 489, 41}},
        {"edtLastIMEI", form->edtLastIMEI.Handle(), group, {88, 48, 233, 72}},
        {"seQty", form->seQty.Handle(), group, {312, 16, 393, 42}},
    };
    for (const Row& row : rows) {
        const RECT r = RectIn(row.control, row.parent);
        EXPECT_EQ(r.left, row.expected.left) << row.name;
        EXPECT_EQ(r.top, row.expected.top) << row.name;
        EXPECT_EQ(r.right, row.expected.right) << row.name;
        EXPECT_EQ(r.bottom, row.expected.bottom) << row.name;
    }

    // Status panels end at 80, 160, 240 and the bar's end; no size grip.
    int parts[4] = {};
    ASSERT_EQ(SendMessageW(form->StatusBar1.Handle(), SB_GETPARTS, 4, reinterpret_cast<LPARAM>(parts)), 4);
    EXPECT_EQ(parts[0], 80);
    EXPECT_EQ(parts[1], 160);
    EXPECT_EQ(parts[2], 240);
    EXPECT_EQ(parts[3], -1);
    EXPECT_EQ(GetWindowLongW(form->StatusBar1.Handle(), GWL_STYLE) & SBARS_SIZEGRIP, 0);

    // The logo: unscaled in the group, scaled to 137 x 73 beneath it.
    EXPECT_EQ(form->Image2.pictureWidth, 150);
    EXPECT_EQ(form->Image2.pictureHeight, 80);
    const RECT beneath = form->Image1.PictureRect(form->ScaledRect(form->Image1.design));
    EXPECT_EQ(beneath.right - beneath.left, 137);
    EXPECT_EQ(beneath.bottom - beneath.top, 73);

    // Fixed single border, with minimise and maximise.
    const LONG style = GetWindowLongW(form->Handle(), GWL_STYLE);
    EXPECT_EQ(style & WS_THICKFRAME, 0);
    EXPECT_NE(style & WS_MINIMIZEBOX, 0);
    EXPECT_NE(style & WS_MAXIMIZEBOX, 0);
}

TEST_F(FormTest, MaximisingKeepsTheDocking) {
    ShowWindow(form->Handle(), SW_MAXIMIZE);
    Pump();
    RECT client{};
    GetClientRect(form->Handle(), &client);
    ASSERT_GT(client.right, 660);
    const RECT group = RectIn(form->GroupBox1.Handle(), form->Handle());
    const RECT status = RectIn(form->StatusBar1.Handle(), form->Handle());
    const RECT pages = RectIn(form->pgc.Handle(), form->Handle());
    EXPECT_EQ(group.right, client.right);
    EXPECT_EQ(group.bottom, 97);
    EXPECT_EQ(status.bottom, client.bottom);
    EXPECT_EQ(status.right, client.right);
    EXPECT_EQ(pages.top, 97);
    EXPECT_EQ(pages.bottom, status.top);
    EXPECT_EQ(pages.right, client.right);
    const RECT first = RectIn(form->edtFirstIMEI.Handle(), form->GroupBox1.Handle());
    EXPECT_EQ(first.left, 88);
    EXPECT_EQ(first.top, 16);
    ShowWindow(form->Handle(), SW_RESTORE);
    Pump();
}

TEST_F(FormTest, ControlsUseTheirDesignedFonts) {
    struct Row {
        const char* name;
        HWND control;
        const wchar_t* face;
        LONG height;
    };
    const Row rows[] = {
        {"pgc", form->pgc.Handle(), L"宋体", -13},
        {"mmoResult", form->mmoResult.Handle(), L"宋体", -13},
        {"Button1", form->Button1.Handle(), L"MS Sans Serif", -11},
        {"Label1", form->Label1.Handle(), L"Arial", -13},
        {"lblIMEI14Len", form->lblIMEI14Len.Handle(), L"Courier New", -12},
        {"edtFirstIMEI", form->edtFirstIMEI.Handle(), L"Courier New", -13},
        {"edtLastIMEI", form->edtLastIMEI.Handle(), L"Courier New", -13},
        {"seQty", form->seQty.Handle(), L"MS Sans Serif", -13},
    };
    for (const Row& row : rows) {
        const LOGFONTW lf = FontOf(row.control);
        EXPECT_STREQ(lf.lfFaceName, row.face) << row.name;
        EXPECT_EQ(lf.lfHeight, row.height) << row.name;
        EXPECT_EQ(lf.lfWeight, FW_NORMAL) << row.name;
    }
}

// Panel 2 has no bevel from the start, not only once a text is shown in it.
TEST_F(FormTest, StatusPanelTwoIsBorderlessFromTheStart) {
    for (int panel = 0; panel < 4; ++panel) {
        const LRESULT length = SendMessageW(form->StatusBar1.Handle(), SB_GETTEXTLENGTHW, panel, 0);
        EXPECT_EQ((HIWORD(length) & SBT_NOBORDERS) != 0, panel == 2) << "panel " << panel;
    }
}

// Where a caption overlaps an edit (with the fonts this machine maps), the
// edit is drawn over it: the caption's window lies beneath and clips itself.
TEST_F(FormTest, CaptionsLieBeneathTheEditsTheyOverlap) {
    const HWND group = form->GroupBox1.Handle();
    const struct {
        const char* name;
        HWND label;
    } labels[] = {{"Label1", form->Label1.Handle()},
                  {"Label2", form->Label2.Handle()},
                  {"Label3", form->Label3.Handle()},
                  {"lblIMEI14Len", form->lblIMEI14Len.Handle()}};
    const HWND edits[] = {form->edtFirstIMEI.Handle(), form->edtLastIMEI.Handle(), form->seQty.Handle()};
    int overlaps = 0;
    for (const auto& l : labels) {
        SCOPED_TRACE(l.name);
        EXPECT_TRUE(GetWindowLongW(l.label, GWL_STYLE) & WS_CLIPSIBLINGS);
        const RECT lr = RectIn(l.label, group);
        for (const HWND edit : edits) {
            const RECT er = RectIn(edit, group);
            RECT both{};
            if (!IntersectRect(&both, &lr, &er)) continue;
            ++overlaps;
            bool beneath = false;
            for (HWND w = GetWindow(edit, GW_HWNDNEXT); w && !beneath; w = GetWindow(w, GW_HWNDNEXT)) beneath = w == l.label;
            EXPECT_TRUE(beneath) << "a caption lies above an edit it overlaps";
        }
    }
    EXPECT_GT(overlaps, 0) << "the design overlaps at least Label2 and seQty";
}

TEST_F(FormTest, TabFollowsTheDesignedOrderAndSelectsEdits) {
    const HWND order[] = {form->edtFirstIMEI.Handle(), form->Button1.Handle(), form->edtLastIMEI.Handle(),
                          form->seQty.Handle(),        form->pgc.Handle(),     form->mmoResult.Handle(),
                          form->edtFirstIMEI.Handle()};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        Key(GetFocus(), VK_TAB);
        EXPECT_EQ(GetFocus(), order[i]) << "after " << i << " Tab presses";
    }
    // Entering the quantity by Tab selects its whole text.
    SetFocus(form->Button1.Handle());
    Key(GetFocus(), VK_TAB);
    Key(GetFocus(), VK_TAB);
    EXPECT_EQ(GetFocus(), form->seQty.Handle());
    EXPECT_EQ(Selection(form->seQty.Handle()), std::make_pair(DWORD{0}, DWORD{2}));
    // Shift+Tab goes back.
    KeyWith(GetFocus(), VK_TAB, false, true);
    EXPECT_EQ(GetFocus(), form->edtLastIMEI.Handle());
}

TEST_F(FormTest, SpinEditFiltersKeysAndWrapsItsSteps) {
    const HWND qty = form->seQty.Handle();
    SetFocus(qty);
    SendMessageW(qty, EM_SETSEL, 2, 2);
    Type(qty, L"a\r.");  // refused with a beep; the period is the decimal separator here
    EXPECT_EQ(Text(qty), L"10.");
    Type(qty, L"\b-+");
    EXPECT_EQ(Text(qty), L"10-+");

    form->seQty.SetText("2147483647");
    Key(qty, VK_UP);
    EXPECT_EQ(Text(qty), L"-2147483648");
    Key(qty, VK_DOWN);
    EXPECT_EQ(Text(qty), L"2147483647");

    // The buttons: the upper one steps up, the lower one down.
    form->seQty.SetText("5");
    const HWND buttons = form->seQty.UpDown();
    RECT r{};
    GetClientRect(buttons, &r);
    const auto press = [&](int y) {
        SendMessageW(buttons, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.right / 2, y));
        SendMessageW(buttons, WM_LBUTTONUP, 0, MAKELPARAM(r.right / 2, y));
        Pump();
    };
    press(r.bottom / 4);
    EXPECT_EQ(Text(qty), L"6");
    press(r.bottom * 3 / 4);
    press(r.bottom * 3 / 4);
    EXPECT_EQ(Text(qty), L"4");
}

// The dark pixels the window shows where a child stands: what the window's own
// drawing left there, read back from the window, as the screen gets it.
int DarkPixelsOver(HWND child) {
    const HWND top = GetAncestor(child, GA_ROOT);
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
    HDC dc = GetDC(top);
    int dark = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 0x80) ++dark;
        }
    }
    ReleaseDC(top, dc);
    return dark;
}

// The quantity's step buttons stay drawn after a click into the field and
// after a press of Builder, not only once the mouse passes over them.
TEST_F(FormTest, SpinButtonsStayDrawnAfterAClickIntoTheFieldOrABuilderPress) {
    const HWND qty = form->seQty.Handle();
    const HWND buttons = form->seQty.UpDown();
    // A click as the mouse gives it, in the control's client pixels.
    const auto click = [](HWND control) {
        PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    };
    const struct {
        const char* what;
        HWND focus;    // where the focus is before
        HWND clicked;
    } rows[] = {
        {"a click into the field", form->edtFirstIMEI.Handle(), qty},
        {"a press of Builder after typing the quantity", qty, form->Button1.Handle()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SetFocus(row.focus);
        RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Pump();
        const int arrows = DarkPixelsOver(buttons);
        ASSERT_GT(arrows, 4) << "the two arrows, before";
        click(row.clicked);
        Pump();
        EXPECT_EQ(DarkPixelsOver(buttons), arrows);
    }
}

// The title bar's minimise button takes the window off the screen, leaving the
// task-bar entry iconic; a double click on that entry brings the window back.
TEST_F(FormTest, MinimiseHidesTheWindowAndRestoreBringsItBack) {
    const HWND app = Application().Handle();
    const HWND window = form->Handle();
    const auto state = [&] {
        return std::string("window ") + (IsWindowVisible(window) ? "visible" : "hidden") + (IsIconic(window) ? ", iconic" : "") +
               "; task-bar entry " + (IsIconic(app) ? "iconic" : "not iconic");
    };
    PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(window) && IsIconic(app); }, state));
    RECT icon{};
    GetWindowRect(app, &icon);
    PostMessageW(app, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(icon.left + 2, icon.top + 2));
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(window) && !IsIconic(window) && !IsIconic(app); }, state));
    EXPECT_EQ(GetActiveWindow(), window);
}

TEST_F(FormTest, CtrlTabSwitchesPagesWithinThePageControl) {
    SetFocus(form->pgc.Handle());
    KeyWith(form->pgc.Handle(), VK_TAB, true, false);
    EXPECT_EQ(form->pgc.ActivePageIndex(), 1);
    EXPECT_TRUE(IsWindowVisible(form->mmoHelp.Handle()));
    EXPECT_FALSE(IsWindowVisible(form->mmoResult.Handle()));
    KeyWith(form->pgc.Handle(), VK_TAB, true, true);
    EXPECT_EQ(form->pgc.ActivePageIndex(), 0);
    // Outside the page control it does nothing.
    SetFocus(form->edtFirstIMEI.Handle());
    KeyWith(form->edtFirstIMEI.Handle(), VK_TAB, true, false);
    EXPECT_EQ(form->pgc.ActivePageIndex(), 0);
}

TEST_F(FormTest, TipsPageHoldsTheSixteenLinesAndCannotBeChanged) {
    const std::wstring text = Text(form->mmoHelp.Handle());
    EXPECT_EQ(text, kTipsText);
    std::vector<std::wstring> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(L"\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::wstring::npos) break;
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[5], L"  IMEI15= 绝对值( (iSum+eSum) 除以10的余数 - 10 );");
    EXPECT_EQ(lines[9], L"  其中,eSum = 7位偶数累加 ");
    EXPECT_EQ(lines[13], std::wstring(84, L'*'));
    EXPECT_EQ(lines[15], L"IMEI 码生成以后，按鼠标右键可将 IMEI 码复制 或者保存成文字档案。 ");

    form->pgc.SetActivePageIndex(1);
    SetFocus(form->mmoHelp.Handle());
    Type(form->mmoHelp.Handle(), L"x");
    EXPECT_EQ(Text(form->mmoHelp.Handle()), text);
    // Long lines wrap: no horizontal scrolling, more rows than lines.
    EXPECT_EQ(GetWindowLongW(form->mmoHelp.Handle(), GWL_STYLE) & (ES_AUTOHSCROLL | WS_HSCROLL), 0);
}

TEST(ApplicationTitle, IsTheFileNameCutAtItsFirstPeriodInLowerCase) {
    struct Row {
        const wchar_t* path;
        const wchar_t* title;
    };
    const Row rows[] = {
        {L"C:\\Tools\\TOOLBOX.EXE", L"Toolbox"},
        {L"C:\\Tools\\my.tool.exe", L"my"},
        {L"C:\\dir.with.dots\\Kestrino.exe", L"Kestrino"},
        {L"KESTRINO", L"Kestrino"},
        {L"C:\\x\\.hidden.exe", L""},
        {L"C:\\x\\ÄBC.EXE", L"Äbc"},
    };
    for (const Row& row : rows) EXPECT_EQ(ApplicationTitleFromPath(row.path), row.title) << row.path;
}

TEST(ErrorBoxText, AddsAPeriodAfterCharactersAboveThePeriod) {
    struct Row {
        std::string message;
        const wchar_t* shown;
    };
    const Row rows[] = {
        {"'-' is not a valid integer value", L"'-' is not a valid integer value."},
        {"Stream write error.", L"Stream write error."},
        {"(see above)", L"(see above)"},
        {"ends with a blank ", L"ends with a blank "},
        {"ends with a digit 7", L"ends with a digit 7."},
        {"", L""},
        {std::string("'\0' is not a valid integer value", 33), L"'"},
    };
    for (const Row& row : rows) EXPECT_EQ(ErrorBoxText(row.message), row.shown) << row.message;
}

TEST_F(FormTest, ErrorBoxShowsTheMessageUnderTheApplicationTitle) {
    std::wstring caption;
    std::wstring message;
    bool hasOk = false;
    bool hasStopIcon = false;
    {
        DialogWatcher watcher([&](HWND box) {
            caption = DialogWatcher::Caption(box);
            message = DialogWatcher::MessageText(box);
            hasOk = GetDlgItem(box, IDOK) != nullptr;
            // The icon's control is 0x14 on Windows, 0x440 under Wine.
            for (const int id : {0x0014, 0x0440}) hasStopIcon = hasStopIcon || SendDlgItemMessageW(box, id, STM_GETICON, 0, 0);
            DialogWatcher::Answer(box, IDOK);
        });
        Dispatch([] { throw EConvertError("'-' is not a valid integer value"); });
    }
    EXPECT_EQ(caption, Application().Title());
    EXPECT_EQ(message, L"'-' is not a valid integer value.");
    EXPECT_TRUE(hasOk);
    EXPECT_TRUE(hasStopIcon);
    // The window goes on working.
    EXPECT_TRUE(IsWindowEnabled(form->Handle()));
}

TEST_F(FormTest, ClosingAsksNothingAndRequestsTheEnd) {
    PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
    Application().Run();
    EXPECT_TRUE(Application().Terminated());
    EXPECT_TRUE(IsWindow(form->Handle())) << "the window stays until the loop has ended";
}

// Replaces the window creation for a scope; the system's comes back at its
// end, also when an assertion ends the test early.
class CreateWindowSeam {
public:
    explicit CreateWindowSeam(CreateWindowFn replacement) { createWindow = replacement; }
    ~CreateWindowSeam() { createWindow = ::CreateWindowExW; }
    CreateWindowSeam(const CreateWindowSeam&) = delete;
    CreateWindowSeam& operator=(const CreateWindowSeam&) = delete;
};

// Start-up checks every window it makes: when the system refuses any one of
// them, the construction fails with a message and leaves no window behind.
TEST(StartUp, AWindowThatCannotBeMadeLeavesNoHalfBuiltWindow) {
    static int calls = 0;
    static int refuseAt = 0;
    const CreateWindowSeam seam([](DWORD ex, LPCWSTR cls, LPCWSTR text, DWORD style, int x, int y, int w, int h, HWND parent,
                      HMENU menu, HINSTANCE instance, LPVOID param) -> HWND {
        if (++calls == refuseAt) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        return CreateWindowExW(ex, cls, text, style, x, y, w, h, parent, menu, instance, param);
    });
    calls = 0;
    refuseAt = 0;
    delete new TFormKestrino();
    const int windows = calls;
    ASSERT_GT(windows, 15);

    for (refuseAt = 1; refuseAt <= windows; ++refuseAt) {
        SCOPED_TRACE("window " + std::to_string(refuseAt) + " of " + std::to_string(windows));
        calls = 0;
        std::string message;
        try {
            delete new TFormKestrino();
        } catch (const Exception& e) {
            message = e.Message();
        }
        EXPECT_EQ(message.rfind("Cannot create", 0), 0u) << message;
        EXPECT_EQ(FindWindowW(L"TFormKestrino", nullptr), nullptr);
        Pump();
    }
}

// Kestrino.exe started as a user starts it, beside this test program; the
// process is ended at the test's end if it is still running.
class RunningProgram {
public:
    RunningProgram() {
        wchar_t path[MAX_PATH];
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring exe(path);
        exe = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"Kestrino.exe";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (!CreateProcessW(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_)) return;
        WaitForInputIdle(pi_.hProcess, kDeadlineMs);
        // A test asserts the window; a missing one is reported there.
        (void)PumpUntil([&] { return (window = FindWindowW(L"TFormKestrino", L"Kestrino 1.0 Belta")) != nullptr; },
                        [] { return "no window"; });
    }
    ~RunningProgram() {
        if (!pi_.hProcess) return;
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 1);
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }
    // Waits for the process to end; its exit code, or STILL_ACTIVE.
    DWORD ExitCode(DWORD waitMs) const {
        WaitForSingleObject(pi_.hProcess, waitMs);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }

    HWND window = nullptr;

private:
    PROCESS_INFORMATION pi_{};
};

// The program as a user starts it: its window, its task-bar title, exit code 0.
TEST(Program, StartsShowsItsWindowAndEndsWithExitCodeZeroWhenClosed) {
    RunningProgram program;
    ASSERT_NE(program.window, nullptr);
    // The task-bar entry belongs to the owner, whose caption is the title.
    const HWND owner = GetWindow(program.window, GW_OWNER);
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(Text(owner), L"Kestrino");
    PostMessageW(program.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.ExitCode(20000), 0u);
}

// The program's result page, seen from outside: the edit that takes several lines and typing.
HWND ResultPage(HWND window) {
    HWND found = nullptr;
    EnumChildWindows(
        window,
        [](HWND hwnd, LPARAM param) -> BOOL {
            wchar_t cls[16] = {};
            GetClassNameW(hwnd, cls, 16);
            const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
            if (_wcsicmp(cls, L"Edit") != 0 || !(style & ES_MULTILINE) || (style & ES_READONLY)) return TRUE;
            *reinterpret_cast<HWND*>(param) = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Its length in characters, as the program answers while it runs; 0 when it does not.
std::size_t LengthOf(HWND edit) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kDeadlineMs, &length)) return 0;
    return length;
}

// Closing the window while a long run writes ends the program at the run's
// next batch, with exit code 0; the time it took is printed, not asserted.
TEST(Program, ClosingDuringALongRunEndsItWithExitCodeZero) {
    RunningProgram program;
    ASSERT_NE(program.window, nullptr);
    const HWND quantity = FindChild(program.window, L"Edit", L"10");
    const HWND builder = FindChild(program.window, L"Button", L"Builder");
    ASSERT_NE(quantity, nullptr);
    ASSERT_NE(builder, nullptr);
    SendMessageW(quantity, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"2000000"));
    const HWND page = ResultPage(program.window);
    ASSERT_NE(page, nullptr);
    PostMessageW(builder, BM_CLICK, 0, 0);
    // Well into the run: a thousand lines written of two million.
    ASSERT_TRUE(PumpUntil([&] { return LengthOf(page) >= known::ListSize(1000); },
                          [&] { return std::to_string(LengthOf(page)) + " characters on the page"; }));
    const ULONGLONG closed = GetTickCount64();
    PostMessageW(program.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.ExitCode(20000), 0u);
    std::printf("closing during a run: the process ended %llu ms after the close\n", GetTickCount64() - closed);
}

}  // namespace
}  // namespace kestrino::test
