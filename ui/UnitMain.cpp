#include "ui/UnitMain.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "core/CheckDigit.h"
#include "core/ImeiList.h"
#include "core/NumberText.h"
#include "ui/Logo.h"
#include "ui/WinText.h"

namespace kestrino {

TFormKestrino* FormKestrino = nullptr;

namespace {

constexpr wchar_t kFormClass[] = L"TFormKestrino";
constexpr wchar_t kPanelClass[] = L"TKestrinoPanel";
constexpr UINT kIdCopy = 101;
constexpr UINT kIdSave = 102;
constexpr UINT_PTR kSubclassSpin = 1;
constexpr UINT_PTR kSubclassResult = 2;
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN;
constexpr COLORREF kPurple = RGB(128, 0, 128);
constexpr COLORREF kFuchsia = RGB(255, 0, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

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

std::wstring SystemErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : L"System error " + std::to_wstring(error);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\r' || text.back() == L'\n' || text.back() == L'.'))
        text.pop_back();
    return text;
}

bool IsSingleLineEdit(const TFormKestrino& f, HWND h) {
    return h == f.edtFirstIMEI.Handle() || h == f.edtLastIMEI.Handle() || h == f.seQty.Handle();
}

}  // namespace

// ---------------------------------------------------------------------------
// Saving

EFCreateError CreateErrorFor(std::wstring_view path, DWORD error) {
    return EFCreateError("Cannot create file \"" + WideToAnsi(path) + "\". " + WideToAnsi(SystemErrorText(error)));
}

void SaveBytesToFile(std::wstring_view path, std::string_view bytes, WriteFileFn write) {
    const std::wstring requested(path);
    wchar_t fullBuffer[32768];
    const DWORD fullLength = GetFullPathNameW(requested.c_str(), static_cast<DWORD>(std::size(fullBuffer)), fullBuffer, nullptr);
    if (fullLength == 0 || fullLength >= std::size(fullBuffer)) throw CreateErrorFor(requested, GetLastError());
    const std::wstring full(fullBuffer, fullLength);

    // A target that another program holds open, or that may not be written,
    // is reported as such before anything is written.
    const bool exists = GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (exists) {
        HANDLE probe = CreateFileW(full.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) throw CreateErrorFor(full, GetLastError());
        CloseHandle(probe);
    }

    const std::size_t slash = full.find_last_of(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? L"." : full.substr(0, slash);
    const std::wstring name = slash == std::wstring::npos ? full : full.substr(slash + 1);
    static unsigned counter = 0;
    const std::wstring temp = folder + L"\\" + name + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++counter) + L".tmp";

    HANDLE file = CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw CreateErrorFor(full, GetLastError());

    // Chunks keep every byte count within a DWORD and checked.
    constexpr std::size_t kChunk = 4u << 20;
    bool written = true;
    for (std::size_t done = 0; written && done < bytes.size();) {
        const DWORD want = static_cast<DWORD>(std::min(kChunk, bytes.size() - done));
        DWORD got = 0;
        written = write(file, bytes.data() + done, want, &got, nullptr) && got == want;
        done += want;
    }
    written = written && FlushFileBuffers(file);
    written = CloseHandle(file) && written;
    if (!written) {
        DeleteFileW(temp.c_str());
        throw EWriteError("Stream write error");
    }

    BOOL replaced = FALSE;
    if (GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES) {
        replaced = ReplaceFileW(full.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
    } else {
        replaced = MoveFileExW(temp.c_str(), full.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!replaced) {
        const DWORD error = GetLastError();
        DeleteFileW(temp.c_str());
        throw CreateErrorFor(full, error);
    }
}

// ---------------------------------------------------------------------------
// The window's progress sink

namespace {
double Milliseconds() {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}
}  // namespace

TFormKestrino::TMemoSink::TMemoSink(TFormKestrino& form) : form_(form), lastFlush_(GetTickCount64()) {}

void TFormKestrino::TMemoSink::AddLine(std::string_view line) {
    for (const char c : line) pending_.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    pending_.append(L"\r\n");
    lineEnds_.push_back(pending_.size());
}

void TFormKestrino::TMemoSink::LinesDone(std::int32_t count) {
    count_ = count;
    if (lineEnds_.size() >= batchLimit_ || GetTickCount64() - lastFlush_ >= kSliceMs) Flush();
}

void TFormKestrino::TMemoSink::Flush(bool last) {
    const std::size_t lines = lineEnds_.size();
    const double start = Milliseconds();
    AppendPending();
    const double appended = Milliseconds();
    LearnAppendCost(lines, appended - start);
    // Painting the memo costs more the more lines it holds: it is repainted
    // as often as that cost allows, and always at the end of the run. The
    // count is shown ten times a second: drawing the status bar costs as much
    // as appending a hundred lines.
    const bool repaint = last || appended >= nextRepaintMs_;
    if (count_ > 0 && (repaint || appended >= lastCountMs_ + kCountIntervalMs)) {
        form_.StatusBar1.SetPanelText(3, "Lines = " + IntToText(count_));
        lastCountMs_ = appended;
    }
    if (repaint) form_.mmoResult.Repaint();
    Application().ProcessMessages();
    const double done = Milliseconds();
    (repaint ? repaintMs_ : eventsMs_) = done - appended;
    if (repaint) nextRepaintMs_ = done + kRepaintShare * repaintMs_;
    PlanNextBatch(done + kGapMs >= nextRepaintMs_ ? repaintMs_ : eventsMs_);
    lastFlush_ = GetTickCount64();
}

void TFormKestrino::TMemoSink::LearnAppendCost(std::size_t lines, double ms) {
    if (lines < 64) return;
    if (perLineMs_ == 0) {
        // Two appends of different sizes tell the cost per line apart from
        // the fixed part.
        if (calibrationLines_ == 0 || lines <= calibrationLines_) {
            calibrationLines_ = lines;
            calibrationMs_ = ms;
            return;
        }
        const double slope = (ms - calibrationMs_) / static_cast<double>(lines - calibrationLines_);
        perLineMs_ = slope > 0 ? slope : ms / static_cast<double>(lines);
    }
    // An append never costs less than its lines.
    perLineMs_ = std::min(perLineMs_, ms / static_cast<double>(lines));
    // Smoothed: a single slow append (the memo growing its buffer) should not
    // make the next batches long.
    const double fixed = std::max(0.0, ms - perLineMs_ * static_cast<double>(lines));
    fixedMs_ = fixedMs_ == 0 ? fixed : 0.75 * fixedMs_ + 0.25 * fixed;
}

void TFormKestrino::TMemoSink::PlanNextBatch(double eventsMs) {
    if (perLineMs_ == 0) {
        batchLimit_ = calibrationLines_ ? calibrationLines_ * 4 : batchLimit_;
        return;
    }
    // The next flush should fit the gap with the events it will process; where
    // the fixed part of an append grows too large for that, batches grow so
    // that it stays within a fifth of the append.
    const double withinGap = (kGapMs - eventsMs - fixedMs_) / perLineMs_;
    const double amortised = 4 * fixedMs_ / perLineMs_;
    // Growing at most twofold a step, and never past a quarter of a second of
    // lines, keeps one bad estimate from a long stall.
    const double next = std::min({std::max(withinGap, amortised), 2.0 * static_cast<double>(batchLimit_),
                                  kLongestAppendMs / perLineMs_});
    batchLimit_ = static_cast<std::size_t>(std::clamp(next, 64.0, 1.0e5));
}

void TFormKestrino::TMemoSink::AppendPending() {
    if (pending_.empty()) return;
    TMemo& memo = form_.mmoResult;
    // Appended one by one, lines after a text that does not end with a line
    // break would each come after a CR LF instead of before one.
    const bool afterBreak = memo.EndsWithLineBreakOrEmpty();
    const std::size_t limit = std::min<std::size_t>(
        kResultCapacity, static_cast<std::size_t>(SendMessageW(memo.Handle(), EM_GETLIMITTEXT, 0, 0)));
    const std::size_t room = limit > memo.Length() ? limit - memo.Length() : 0;

    std::size_t lines = lineEnds_.size();
    while (lines > 0 && lineEnds_[lines - 1] > room) --lines;
    bool full = lines < lineEnds_.size();
    if (lines > 0) {
        const std::size_t size = lineEnds_[lines - 1];
        const std::wstring_view text(pending_.data(), size);
        bool appended = false;
        if (afterBreak) {
            appended = memo.AppendText(text);
        } else {
            std::wstring moved = L"\r\n";
            moved.append(text.substr(0, size - 2));
            appended = memo.AppendText(moved);
        }
        if (appended) {
            linesWritten_ += lines;
        } else {
            full = true;
        }
    }
    pending_.clear();
    lineEnds_.clear();
    if (full) {
        const std::int32_t bodyLines = linesWritten_ > 0 ? static_cast<std::int32_t>(linesWritten_ - 1) : 0;
        if (bodyLines > 0) form_.StatusBar1.SetPanelText(3, "Lines = " + IntToText(bodyLines));
        count_ = 0;
        throw Exception("The result page can hold no more text: the run stopped after " + IntToText(bodyLines) +
                        (bodyLines == 1 ? " line" : " lines"));
    }
}

// ---------------------------------------------------------------------------
// Creation and layout

TFormKestrino::TFormKestrino() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    static const bool registered = [instance] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WndProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.hIcon = Application().Icon();
        wc.hIconSm = Application().Icon();
        wc.lpszClassName = kFormClass;
        RegisterClassExW(&wc);
        wc.lpfnWndProc = PanelProc;
        wc.hIcon = nullptr;
        wc.hIconSm = nullptr;
        wc.lpszClassName = kPanelClass;
        RegisterClassExW(&wc);
        return true;
    }();
    (void)registered;

    // The window definition: every control with its properties, no handler yet.
    handle_ = CreateWindowExW(0, kFormClass, L"Kestrino 1.0 Belta", kFormStyle, 203, 205, 660, 433,
                              Application().Handle(), nullptr, instance, this);
    if (!handle_) throw Exception("The main window cannot be created (error " + IntToText(static_cast<std::int32_t>(GetLastError())) + ")");
    CreateControls();

    // Handlers come after the definition, so that none runs during creation.
    Button1.OnClick = [this](TObject* s) { Button1Click(s); };
    edtFirstIMEI.OnChange = [this](TObject* s) { edtFirstIMEIChange(s); };
    seQty.OnChange = [this](TObject* s) { seQtyChange(s); };
    CopytoClipboard1.OnClick = [this](TObject* s) { CopytoClipboard1Click(s); };
    SaveToTextFile1.OnClick = [this](TObject* s) { SaveToTextFile1Click(s); };

    dpi_ = WindowDpi(handle_);
    CreateFonts(dpi_);
    ApplyLayout();
    Application().SetMainWindow(handle_, this);
}

TFormKestrino::~TFormKestrino() {
    Application().SetMainWindow(nullptr, nullptr);
    if (handle_) DestroyWindow(handle_);
    if (pm.menu_) DestroyMenu(pm.menu_);
    for (TImage* image : {&Image1, &Image2}) {
        if (image->bitmap) DeleteObject(image->bitmap);
    }
    DeleteFonts();
}

void TFormKestrino::CreateControls() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const auto child = [&](DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, HWND parent) {
        return CreateWindowExW(exStyle, cls, text, WS_CHILD | style, 0, 0, 0, 0, parent, nullptr, instance, this);
    };

    int logoWidth = 0;
    int logoHeight = 0;
    const HBITMAP logo = LoadLogoBitmap(logoWidth, logoHeight);

    Image1.design = {504, 8, 137, 89};
    Image1.proportional = true;
    Image1.bitmap = logo;
    Image1.pictureWidth = logoWidth;
    Image1.pictureHeight = logoHeight;

    StatusBar1.design = {0, 414, 660, 19};
    StatusBar1.handle_ = child(0, STATUSCLASSNAMEW, nullptr, WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN, handle_);

    GroupBox1.design = {0, 0, 660, 97};
    GroupBox1.handle_ = child(WS_EX_CONTROLPARENT, kPanelClass, nullptr, WS_VISIBLE | WS_CLIPCHILDREN, handle_);
    const HWND group = GroupBox1.handle_;

    const auto label = [&](TLabel& l, TBounds b, const char* caption) {
        l.design = b;
        l.caption_ = caption;
        l.handle_ = child(0, WC_STATICW, AnsiToWide(caption).c_str(), WS_VISIBLE | SS_LEFT | SS_NOPREFIX, group);
    };
    label(Label1, {8, 20, 82, 16}, "First IMEI14 : ");
    label(lblIMEI14Len, {248, 20, 7, 15}, "");
    label(Label2, {282, 19, 33, 16}, "Qty : ");
    label(Label3, {7, 51, 81, 16}, "Last IMEI14 : ");

    Image2.design = {504, 8, logo ? logoWidth : 150, logo ? logoHeight : 80};
    Image2.bitmap = logo ? static_cast<HBITMAP>(CopyImage(logo, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)) : nullptr;
    Image2.pictureWidth = logoWidth;
    Image2.pictureHeight = logoHeight;

    edtFirstIMEI.design = {88, 16, 145, 24};
    edtFirstIMEI.handle_ = child(WS_EX_CLIENTEDGE, WC_EDITW, L"35851102000002", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, group);

    Button1.design = {414, 16, 75, 25};
    Button1.handle_ = child(0, WC_BUTTONW, L"Builder", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, group);

    edtLastIMEI.design = {88, 48, 145, 24};
    edtLastIMEI.handle_ = child(WS_EX_CLIENTEDGE, WC_EDITW, L"", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY, group);

    seQty.design = {312, 16, 81, 26};
    seQty.handle_ = child(WS_EX_CLIENTEDGE, WC_EDITW, L"10", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | WS_CLIPCHILDREN, group);
    seQty.upDown_ = child(0, UPDOWN_CLASSW, nullptr, WS_VISIBLE, seQty.handle_);
    // Position 1 of 0..2, and every step is cancelled: the buttons only report
    // direction, so they never stop at an end of their own range.
    SendMessageW(seQty.upDown_, UDM_SETRANGE32, 0, 2);
    SendMessageW(seQty.upDown_, UDM_SETPOS32, 0, 1);
    SetWindowSubclass(seQty.handle_, SubclassProc, kSubclassSpin, reinterpret_cast<DWORD_PTR>(this));

    pgc.design = {0, 97, 660, 317};
    pgc.handle_ = child(0, WC_TABCONTROLW, nullptr, WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, handle_);
    TabSheet1.caption = L" Result ";
    TabSheet2.caption = L" Tips";
    int index = 0;
    for (TTabSheet* sheet : {&TabSheet1, &TabSheet2}) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = sheet->caption.data();
        SendMessageW(pgc.handle_, TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        pgc.pages[index++] = sheet;
    }

    TabSheet1.handle_ = child(WS_EX_CONTROLPARENT, kPanelClass, nullptr, WS_CLIPCHILDREN, pgc.handle_);
    mmoResult.design = {0, 0, 652, 289};
    mmoResult.handle_ = child(WS_EX_CLIENTEDGE, WC_EDITW, L"",
                              WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                  ES_AUTOHSCROLL | ES_WANTRETURN,
                              TabSheet1.handle_);
    // The platform's default stops at 30,000 characters; the run watches its
    // own capacity instead.
    SendMessageW(mmoResult.handle_, EM_SETLIMITTEXT, 0, 0);
    SetWindowSubclass(mmoResult.handle_, SubclassProc, kSubclassResult, reinterpret_cast<DWORD_PTR>(this));

    TabSheet2.handle_ = child(WS_EX_CONTROLPARENT, kPanelClass, nullptr, WS_CLIPCHILDREN, pgc.handle_);
    mmoHelp.design = {0, 0, 652, 289};
    mmoHelp.handle_ = child(WS_EX_CLIENTEDGE, WC_EDITW, kTipsText,
                            WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_READONLY, TabSheet2.handle_);

    // The definition names the Tips page as the active one; FormCreate overrides it.
    pgc.SetActivePageIndex(1);

    pm.menu_ = CreatePopupMenu();
    CopytoClipboard1.id = kIdCopy;
    CopytoClipboard1.caption = L"Copy to Clipboard";
    SaveToTextFile1.id = kIdSave;
    SaveToTextFile1.caption = L"&Save To Text File";
    AppendMenuW(pm.menu_, MF_STRING, CopytoClipboard1.id, CopytoClipboard1.caption.c_str());
    AppendMenuW(pm.menu_, MF_STRING, SaveToTextFile1.id, SaveToTextFile1.caption.c_str());

    dlgSave.filter = L"Text File(*.txt)|*.txt";
    dlgSave.defaultExt = L"txt";

    wchar_t separator[8] = L".";
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, static_cast<int>(std::size(separator)));
    decimalSeparator_ = separator;
}

void TFormKestrino::CreateFonts(int dpi) {
    DeleteFonts();
    windowFont_ = MakeFont(L"宋体", MulDiv(13, dpi, 96), ANSI_CHARSET);
    // Layout follows the window font's real text height, which a substituted
    // face may change.
    HDC dc = GetDC(handle_);
    const HGDIOBJ old = SelectObject(dc, windowFont_);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(handle_, dc);
    const int measured = tm.tmHeight - tm.tmInternalLeading;
    textHeight_ = measured > 0 ? measured : MulDiv(13, dpi, 96);

    groupFont_ = MakeFont(L"MS Sans Serif", Scale(11), DEFAULT_CHARSET);
    labelFont_ = MakeFont(L"Arial", Scale(13), ANSI_CHARSET);
    lengthFont_ = MakeFont(L"Courier New", Scale(12), ANSI_CHARSET);
    editFont_ = MakeFont(L"Courier New", Scale(13), ANSI_CHARSET);
    qtyFont_ = MakeFont(L"MS Sans Serif", Scale(13), DEFAULT_CHARSET);

    SetFont(handle_, windowFont_);
    for (HWND h : {pgc.handle_, TabSheet1.handle_, TabSheet2.handle_, mmoResult.handle_, mmoHelp.handle_}) SetFont(h, windowFont_);
    for (HWND h : {GroupBox1.handle_, Button1.handle_}) SetFont(h, groupFont_);
    for (HWND h : {Label1.handle_, Label2.handle_, Label3.handle_}) SetFont(h, labelFont_);
    SetFont(lblIMEI14Len.handle_, lengthFont_);
    for (HWND h : {edtFirstIMEI.handle_, edtLastIMEI.handle_}) SetFont(h, editFont_);
    SetFont(seQty.handle_, qtyFont_);
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
        RECT frame{0, 0, Scale(660), Scale(433)};
        AdjustWindowRectEx(&frame, kFormStyle, FALSE, 0);
        SetWindowPos(handle_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    DockControls();

    for (TControl* c : std::initializer_list<TControl*>{&edtFirstIMEI, &Button1, &edtLastIMEI, &seQty}) Place(c->handle_, ScaledRect(c->design));
    PlaceSpinButtons();

    for (TLabel* l : {&Label1, &lblIMEI14Len, &Label2, &Label3}) {
        l->scaledLeft_ = Scale(l->design.left);
        l->scaledTop_ = Scale(l->design.top);
        l->SetCaption(l->caption_);
    }

    InvalidateRect(handle_, nullptr, TRUE);
}

// The step buttons sit inside the right end of the quantity field, whose text
// stops short of them.
void TFormKestrino::PlaceSpinButtons() {
    if (!seQty.upDown_) return;
    RECT spin{};
    GetClientRect(seQty.handle_, &spin);
    const int buttonWidth = Scale(15);
    Place(seQty.upDown_, {spin.right - buttonWidth, 0, spin.right, spin.bottom});
    SendMessageW(seQty.handle_, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, buttonWidth));
}

void TFormKestrino::DockControls() {
    RECT client{};
    GetClientRect(handle_, &client);
    const int width = client.right;
    const int height = client.bottom;
    // The input group on top, the status bar at the bottom, the pages between.
    const int statusHeight = Scale(StatusBar1.design.height);
    const int groupHeight = Scale(GroupBox1.design.height);
    Place(StatusBar1.handle_, {0, height - statusHeight, width, height});
    const int parts[TStatusBar::kPanels] = {Scale(80), Scale(160), Scale(240), -1};
    SendMessageW(StatusBar1.handle_, SB_SETPARTS, TStatusBar::kPanels, reinterpret_cast<LPARAM>(parts));
    Place(GroupBox1.handle_, {0, 0, width, groupHeight});
    Place(pgc.handle_, {0, groupHeight, width, std::max(groupHeight, height - statusHeight)});

    RECT page{};
    GetClientRect(pgc.handle_, &page);
    SendMessageW(pgc.handle_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
    for (TTabSheet* sheet : {&TabSheet1, &TabSheet2}) Place(sheet->handle_, page);
    const RECT fill{0, 0, page.right - page.left, page.bottom - page.top};
    Place(mmoResult.handle_, fill);
    Place(mmoHelp.handle_, fill);
}

void TFormKestrino::FormCreate(TObject* /*Sender*/) { pgc.SetActivePageIndex(0); }

void TFormKestrino::Show() { Application().ShowMainWindow(); }

std::int32_t TFormKestrino::Gen15(std::int64_t body) { return kestrino::Gen15(body); }

// ---------------------------------------------------------------------------
// Messages

bool TFormKestrino::IsOwnWindow(HWND hwnd) const { return hwnd && (hwnd == handle_ || IsChild(handle_, hwnd)); }

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
    Dispatch([&] { result = self->HandleMessage(hwnd, msg, wp, lp); });
    return result;
}

LRESULT CALLBACK TFormKestrino::PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    }
    auto* self = reinterpret_cast<TFormKestrino*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        // Containers pass their children's notifications to the window.
        LRESULT result = 0;
        Dispatch([&] { result = self->HandleMessage(hwnd, msg, wp, lp); });
        return result;
    }
    case WM_PAINT:
        Dispatch([&] { self->PaintPanel(hwnd); });
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TFormKestrino::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data) {
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, SubclassProc, id);
        return DefSubclassProc(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    Dispatch([&] { result = reinterpret_cast<TFormKestrino*>(data)->HandleSubclass(hwnd, msg, wp, lp, id); });
    return result;
}

LRESULT TFormKestrino::HandleSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id) {
    if (id == kSubclassSpin) {
        switch (msg) {
        case WM_CHAR:
            if (!TSpinEdit::AcceptsChar(static_cast<wchar_t>(wp), decimalSeparator_)) {
                MessageBeep(MB_OK);
                return 0;
            }
            break;
        case WM_KEYDOWN:
            if (wp == VK_UP || wp == VK_DOWN) {
                seQty.Step(wp == VK_UP ? 1 : -1);
                return 0;
            }
            break;
        case WM_NOTIFY: {
            const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
            if (hdr->hwndFrom == seQty.upDown_ && hdr->code == UDN_DELTAPOS) {
                const auto* ud = reinterpret_cast<const NMUPDOWN*>(lp);
                if (ud->iDelta != 0) seQty.Step(ud->iDelta > 0 ? 1 : -1);
                return TRUE;
            }
            break;
        }
        case WM_VSCROLL:
            return 0;
        case WM_SIZE: {
            const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
            PlaceSpinButtons();
            return r;
        }
        }
    } else if (id == kSubclassResult && msg == WM_CONTEXTMENU) {
        ShowResultMenu(lp);
        return 0;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

void TFormKestrino::ShowResultMenu(LPARAM at) {
    SetFocus(mmoResult.handle_);
    POINT pt{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (at == -1) {
        // From the keyboard: at the caret.
        GetCaretPos(&pt);
        ClientToScreen(mmoResult.handle_, &pt);
    }
    TrackPopupMenu(pm.menu_, TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, handle_, nullptr);
}

void TFormKestrino::PaintPanel(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (hwnd == GroupBox1.handle_) {
        RECT r{};
        GetClientRect(hwnd, &r);
        // A frame without a title starts half a line down, as a titled one would.
        HGDIOBJ old = SelectObject(dc, groupFont_);
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        SelectObject(dc, old);
        r.top += tm.tmHeight / 2;
        DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT);
        Image2.Paint(dc, ScaledRect(Image2.design));
    }
    EndPaint(hwnd, &ps);
}

LRESULT TFormKestrino::OnCtlColor(HDC dc, HWND control) {
    COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
    int background = COLOR_WINDOW;
    bool transparent = false;
    if (control == edtFirstIMEI.handle_) {
        text = kBlack;
    } else if (control == edtLastIMEI.handle_) {
        text = kFuchsia;
        background = COLOR_INACTIVECAPTIONTEXT;
    } else if (control == seQty.handle_) {
        text = kPurple;
    } else if (control == Label1.handle_ || control == Label2.handle_ || control == Label3.handle_) {
        text = kBlack;
        background = COLOR_BTNFACE;
        transparent = true;
    } else if (control == lblIMEI14Len.handle_) {
        text = kPurple;
        background = COLOR_BTNFACE;
        transparent = true;
    } else if (control != mmoResult.handle_ && control != mmoHelp.handle_) {
        background = COLOR_BTNFACE;
        text = GetSysColor(COLOR_BTNTEXT);
    }
    SetTextColor(dc, text);
    SetBkColor(dc, GetSysColor(background));
    if (transparent) SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
}

void TFormKestrino::OnCommand(HWND control, UINT code, UINT id) {
    if (!control) {
        if (code != 0) return;
        if (id == CopytoClipboard1.id && CopytoClipboard1.OnClick) CopytoClipboard1.OnClick(&CopytoClipboard1);
        if (id == SaveToTextFile1.id && SaveToTextFile1.OnClick) SaveToTextFile1.OnClick(&SaveToTextFile1);
        return;
    }
    if (code == EN_CHANGE) {
        if (control == edtFirstIMEI.handle_) edtFirstIMEI.Changed();
        if (control == seQty.handle_) seQty.Changed();
    } else if (code == BN_CLICKED && control == Button1.handle_ && Button1.OnClick) {
        Button1.OnClick(&Button1);
    }
}

LRESULT TFormKestrino::HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        OnCommand(reinterpret_cast<HWND>(lp), HIWORD(wp), LOWORD(wp));
        return 0;
    case WM_NOTIFY: {
        const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
        if (hdr->hwndFrom == pgc.handle_ && hdr->code == TCN_SELCHANGE) pgc.SetActivePageIndex(pgc.ActivePageIndex());
        return 0;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return OnCtlColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
    }
    if (hwnd != handle_) return DefWindowProcW(hwnd, msg, wp, lp);

    switch (msg) {
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE) {
            if (const HWND focus = GetFocus(); IsOwnWindow(focus) && focus != handle_) lastFocus_ = focus;
        } else if (!HIWORD(wp)) {
            if (lastFocus_ && IsWindow(lastFocus_) && IsWindowVisible(lastFocus_)) {
                SetFocus(lastFocus_);
            } else {
                FocusControl(edtFirstIMEI.handle_, true);
            }
            return 0;
        }
        break;
    case WM_SIZE:
        if (wp != SIZE_MINIMIZED && StatusBar1.handle_) DockControls();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        // Lies beneath the input group, which always covers it.
        Image1.Paint(dc, ScaledRect(Image1.design));
        EndPaint(hwnd, &ps);
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
            ShowWindow(Application().Handle(), SW_MINIMIZE);
            return 0;
        }
        break;
    case WM_CLOSE:
        // Asks nothing: the event loop ends once every run in progress is over.
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// ---------------------------------------------------------------------------
// Keyboard navigation, in the window's own tab order

void TFormKestrino::FocusControl(HWND control, bool byTab) {
    SetFocus(control);
    if (byTab && IsSingleLineEdit(*this, control)) SendMessageW(control, EM_SETSEL, 0, -1);
}

void TFormKestrino::TabNavigate(bool backward) {
    const HWND memo = pgc.ActivePageIndex() == 0 ? mmoResult.handle_ : mmoHelp.handle_;
    const HWND order[] = {edtFirstIMEI.handle_, Button1.handle_, edtLastIMEI.handle_, seQty.handle_, pgc.handle_, memo};
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
            if (focus == pgc.handle_ || IsChild(pgc.handle_, focus)) {
                const int pages = static_cast<int>(SendMessageW(pgc.handle_, TCM_GETITEMCOUNT, 0, 0));
                pgc.SetActivePageIndex((pgc.ActivePageIndex() + (shift ? pages - 1 : 1)) % pages);
            }
        } else {
            TabNavigate(shift);
        }
        return true;
    }
    if (msg.wParam == VK_RETURN && msg.hwnd == Button1.handle_ && !ctrl) {
        SendMessageW(Button1.handle_, BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Handlers

void TFormKestrino::edtFirstIMEIChange(TObject* /*Sender*/) {
    if (edtFirstIMEI.Text().empty()) edtFirstIMEI.SetText("0");
    const ScanResult scan = ScanInteger(edtFirstIMEI.Text());
    if (scan.errorPosition != 0) edtFirstIMEI.SetText(IntToText(scan.value));
    lblIMEI14Len.SetCaption(IntToText(static_cast<std::int32_t>(edtFirstIMEI.Text().size())));
    edtLastIMEI.SetText(LastImei14(edtFirstIMEI.Text(), seQty.Value()));
}

void TFormKestrino::seQtyChange(TObject* /*Sender*/) {
    if (seQty.Text().empty()) seQty.SetValue(0);
    StatusBar1.SetPanelText(0, IntToText(seQty.Value()));
    edtLastIMEI.SetText(LastImei14(edtFirstIMEI.Text(), seQty.Value()));
}

void TFormKestrino::Button1Click(TObject* /*Sender*/) {
    mmoResult.Clear();
    const std::string first = edtFirstIMEI.Text();
    const std::int32_t quantity = seQty.Value();
    TMemoSink sink(*this);
    try {
        BuildImeiList(first, quantity, sink);
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
    SaveBytesToFile(dlgSave.fileName, WideToAnsi(mmoResult.Text()), saveWrite);
}

}  // namespace kestrino
