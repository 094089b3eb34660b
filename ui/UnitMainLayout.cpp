// The main window's creation and layout: the window definition, its fonts,
// and where every control stands at the window's DPI.
#include "ui/UnitMain.h"

#include <commctrl.h>

#include <algorithm>

#include "core/NumberText.h"
#include "ui/Logo.h"
#include "ui/MenuIds.h"
#include "ui/WinText.h"

namespace kestrino {

namespace {

constexpr wchar_t kFormClass[] = L"TFormKestrino";
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN;
// The design's window position, before the platform places it.
constexpr int kDesignLeft = 203;
constexpr int kDesignTop = 205;
// The window font's text height at 96 dpi, the unit of the layout.
constexpr int kDesignTextHeight = 13;
constexpr int kSpinButtonWidth = 15;
// The status bar's third panel is drawn without a bevel.
constexpr int kPanelBorderless = 2;
// Right edges of the status bar's panels; the last runs to the bar's end.
constexpr int kPanelEdges[TStatusBar::kPanels] = {80, 160, 240, -1};

constexpr TFixedColor kPurple{RGB(128, 0, 128)};
constexpr TFixedColor kFuchsia{RGB(255, 0, 255)};
constexpr TFixedColor kBlack{RGB(0, 0, 0)};

// Per-monitor DPI functions exist from Windows 10 on; older systems use the
// screen's DPI.
int WindowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi) {
        if (const UINT dpi = getDpi(hwnd)) return static_cast<int>(dpi);
    }
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

HFONT MakeFont(const wchar_t* face, int pixels, BYTE charset) {
    return CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

void SetFont(HWND hwnd, HFONT font) { SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE); }

void Place(HWND hwnd, const RECT& r) {
    SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void TFormKestrino::RegisterFormClass() {
    static const DWORD error = RegisterWindowClass({
        .name = kFormClass,
        .proc = WndProc,
        .icon = Application().Icon(),
        .cursor = ArrowCursor(),
        .background = FaceBrush(),
    });
    if (error != 0) throw Exception("Cannot register the main window's class. " + SystemErrorText(error));
}

TFormKestrino::TFormKestrino() {
    RegisterFormClass();
    // The window definition: every control with its properties, no handler yet.
    handle_ = createWindow(0, kFormClass, L"Kestrino 1.0 Belta", kFormStyle, kDesignLeft, kDesignTop, kDesignWidth,
                           kDesignHeight, Application().Handle(), nullptr, GetModuleHandleW(nullptr), this);
    if (!handle_) throw Exception("Cannot create the main window. " + SystemErrorText(GetLastError()));
    try {
        CreateControls();

        // Handlers come after the definition, so that none runs during creation.
        Button1.OnClick = [this](TObject* s) { Button1Click(s); };
        edtFirstIMEI.OnChange = [this](TObject* s) { edtFirstIMEIChange(s); };
        seQty.OnChange = [this](TObject* s) { seQtyChange(s); };
        CopytoClipboard1.OnClick = [this](TObject* s) { CopytoClipboard1Click(s); };
        SaveToTextFile1.OnClick = [this](TObject* s) { SaveToTextFile1Click(s); };
        mmoResult.OnContextMenu = [this](POINT at) { pm.Popup(handle_, at); };

        dpi_ = WindowDpi(handle_);
        CreateFonts(dpi_);
        ApplyLayout();
    } catch (...) {
        // Never a half-built window: the children go with it.
        DestroyWindow(handle_);
        DeleteFonts();
        throw;
    }
    Application().SetMainWindow(handle_, this);
}

TFormKestrino::~TFormKestrino() {
    Application().SetMainWindow(nullptr, nullptr);
    if (handle_) DestroyWindow(handle_);
    DeleteFonts();
}

void TFormKestrino::CreateControls() {
    int logoWidth = 0;
    int logoHeight = 0;
    const HBITMAP logo = LoadLogoBitmap(logoWidth, logoHeight);

    Image1.design = {504, 8, 137, 89};
    Image1.proportional = true;
    Image1.SetBitmap(logo, logoWidth, logoHeight);

    StatusBar1.design = {0, 414, kDesignWidth, 19};
    StatusBar1.Create({.parent = handle_, .borderless = {kPanelBorderless}});

    GroupBox1.design = {0, 0, kDesignWidth, 97};
    GroupBox1.Create({.parent = handle_});
    GroupBox1.OnPaint = [this](HDC dc, const RECT& client, HFONT font) { PaintGroupBox(dc, client, font); };
    const HWND group = GroupBox1.Handle();

    Label1.design = {8, 20, 82, 16};
    Label1.Create({.parent = group, .caption = "First IMEI14 : ", .textColor = kBlack});
    lblIMEI14Len.design = {248, 20, 7, 15};
    lblIMEI14Len.Create({.parent = group, .textColor = kPurple});
    Label2.design = {282, 19, 33, 16};
    Label2.Create({.parent = group, .caption = "Qty : ", .textColor = kBlack});
    Label3.design = {7, 51, 81, 16};
    Label3.Create({.parent = group, .caption = "Last IMEI14 : ", .textColor = kBlack});

    Image2.design = {504, 8, logo ? logoWidth : 150, logo ? logoHeight : 80};
    Image2.SetBitmap(logo ? static_cast<HBITMAP>(CopyImage(logo, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)) : nullptr,
                     logoWidth, logoHeight);

    edtFirstIMEI.design = {88, 16, 145, 24};
    edtFirstIMEI.Create({.parent = group, .text = "35851102000002", .textColor = kBlack});

    Button1.design = {414, 16, 75, 25};
    Button1.Create({.parent = group, .caption = "Builder"});

    edtLastIMEI.design = {88, 48, 145, 24};
    edtLastIMEI.Create(
        {.parent = group, .readOnly = true, .textColor = kFuchsia, .background = {COLOR_INACTIVECAPTIONTEXT}});

    seQty.design = {312, 16, 81, 26};
    seQty.Create({.parent = group, .text = "10", .textColor = kPurple});

    pgc.design = {0, 97, kDesignWidth, 317};
    pgc.Create(handle_);
    TabSheet1.caption = " Result ";
    TabSheet2.caption = " Tips";
    pgc.AddPage(TabSheet1);
    mmoResult.design = {0, 0, 652, 289};
    mmoResult.Create({.parent = TabSheet1.Handle(), .scrollBars = true});
    // The platform's default stops at 30,000 characters; the run watches its
    // own capacity instead.
    SendMessageW(mmoResult.Handle(), EM_SETLIMITTEXT, 0, 0);
    pgc.AddPage(TabSheet2);
    mmoHelp.design = {0, 0, 652, 289};
    mmoHelp.Create({.parent = TabSheet2.Handle(), .fixedText = kTipsText, .readOnly = true});

    // The definition names the Tips page as the active one; FormCreate overrides it.
    pgc.SetActivePageIndex(1);

    CopytoClipboard1.id = kCmdCopyToClipboard;
    CopytoClipboard1.caption = "Copy to Clipboard";
    SaveToTextFile1.id = kCmdSaveToTextFile;
    SaveToTextFile1.caption = "&Save To Text File";
    pm.Create({&CopytoClipboard1, &SaveToTextFile1});

    dlgSave.filter = L"Text File(*.txt)|*.txt";
    dlgSave.defaultExt = L"txt";
}

void TFormKestrino::CreateFonts(int dpi) {
    DeleteFonts();
    windowFont_ = MakeFont(L"宋体", MulDiv(kDesignTextHeight, dpi, 96), ANSI_CHARSET);
    // Layout follows the window font's real text height, which a substituted
    // face may change.
    const TEXTMETRICW tm = MeasureFont(handle_, windowFont_).metrics;
    const int measured = tm.tmHeight - tm.tmInternalLeading;
    textHeight_ = measured > 0 ? measured : MulDiv(kDesignTextHeight, dpi, 96);

    groupFont_ = MakeFont(L"MS Sans Serif", Scale(11), DEFAULT_CHARSET);
    labelFont_ = MakeFont(L"Arial", Scale(13), ANSI_CHARSET);
    lengthFont_ = MakeFont(L"Courier New", Scale(12), ANSI_CHARSET);
    editFont_ = MakeFont(L"Courier New", Scale(13), ANSI_CHARSET);
    qtyFont_ = MakeFont(L"MS Sans Serif", Scale(13), DEFAULT_CHARSET);

    SetFont(handle_, windowFont_);
    for (const TControl* c : std::initializer_list<const TControl*>{&pgc, &TabSheet1, &TabSheet2, &mmoResult, &mmoHelp})
        SetFont(c->Handle(), windowFont_);
    for (const TControl* c : std::initializer_list<const TControl*>{&GroupBox1, &Button1}) SetFont(c->Handle(), groupFont_);
    for (const TLabel* l : {&Label1, &Label2, &Label3}) SetFont(l->Handle(), labelFont_);
    SetFont(lblIMEI14Len.Handle(), lengthFont_);
    for (const TEdit* e : {&edtFirstIMEI, &edtLastIMEI}) SetFont(e->Handle(), editFont_);
    SetFont(seQty.Handle(), qtyFont_);
}

void TFormKestrino::DeleteFonts() {
    for (HFONT* f : {&windowFont_, &groupFont_, &labelFont_, &lengthFont_, &editFont_, &qtyFont_}) {
        if (*f) DeleteObject(*f);
        *f = nullptr;
    }
}

RECT TFormKestrino::ScaledRect(const TBounds& b) const {
    return {Scale(b.left), Scale(b.top), Scale(b.left + b.width), Scale(b.top + b.height)};
}

void TFormKestrino::ApplyLayout() {
    if (!IsZoomed(handle_)) {
        // The client area keeps its designed size; the frame is the platform's.
        RECT frame{0, 0, Scale(kDesignWidth), Scale(kDesignHeight)};
        AdjustWindowRectEx(&frame, kFormStyle, FALSE, 0);
        SetWindowPos(handle_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    DockControls();

    for (const TControl* c : std::initializer_list<const TControl*>{&edtFirstIMEI, &Button1, &edtLastIMEI, &seQty})
        Place(c->Handle(), ScaledRect(c->design));
    seQty.SetButtonWidth(Scale(kSpinButtonWidth));

    for (TLabel* l : {&Label1, &lblIMEI14Len, &Label2, &Label3}) l->SetOrigin(Scale(l->design.left), Scale(l->design.top));

    InvalidateRect(handle_, nullptr, TRUE);
}

void TFormKestrino::DockControls() {
    RECT client{};
    GetClientRect(handle_, &client);
    const int width = client.right;
    const int height = client.bottom;
    // The input group on top, the status bar at the bottom, the pages between.
    const int statusHeight = Scale(StatusBar1.design.height);
    const int groupHeight = Scale(GroupBox1.design.height);
    Place(StatusBar1.Handle(), {0, height - statusHeight, width, height});
    int edges[TStatusBar::kPanels];
    for (int i = 0; i < TStatusBar::kPanels; ++i) edges[i] = kPanelEdges[i] < 0 ? -1 : Scale(kPanelEdges[i]);
    StatusBar1.SetPanelEdges(edges);
    Place(GroupBox1.Handle(), {0, 0, width, groupHeight});
    Place(pgc.Handle(), {0, groupHeight, width, std::max(groupHeight, height - statusHeight)});

    const RECT page = pgc.PageRect();
    for (const TTabSheet* sheet : {&TabSheet1, &TabSheet2}) Place(sheet->Handle(), page);
    const RECT fill{0, 0, page.right - page.left, page.bottom - page.top};
    Place(mmoResult.Handle(), fill);
    Place(mmoHelp.Handle(), fill);
}

void TFormKestrino::PaintGroupBox(HDC dc, const RECT& client, HFONT font) {
    // A frame without a title starts half a line down, as a titled one would.
    RECT frame = client;
    frame.top += MeasureFont(dc, font).metrics.tmHeight / 2;
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    Image2.Paint(dc, ScaledRect(Image2.design));
}

}  // namespace kestrino
