// Filling the result page through Builder against one WM_SETTEXT of the same
// text into the same memo, and how long the window went without processing
// events meanwhile. Prints figures; it is not a test.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "ui/Application.h"
#include "core/ImeiList.h"
#include "ui/UnitMain.h"
#include "ui/WinText.h"

using namespace kestrino;

namespace {

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A thread posts a message every millisecond; the hook sees each one as the
// window's event processing takes it, so the longest gap between two is the
// longest time the window did not process events.
constexpr UINT kTick = WM_APP + 7;
std::vector<double> g_taken;
LRESULT CALLBACK GetMessageHook(int code, WPARAM wp, LPARAM lp) {
    const auto* msg = reinterpret_cast<const MSG*>(lp);
    if (code >= 0 && wp == PM_REMOVE && msg->message == kTick) g_taken.push_back(Seconds());
    return CallNextHookEx(nullptr, code, wp, lp);
}

std::wstring ListText(std::int32_t lines) {
    struct Collect final : ProgressSink {
        std::wstring text;
        void AddLine(std::string_view line) override {
            text.append(line.begin(), line.end());
            text += L"\r\n";
        }
        void LinesDone(std::int32_t) override {}
    } sink;
    BuildImeiList("35851102000002", lines, sink);
    return sink.text;
}

}  // namespace

int main() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&icc);
    Application().Initialize();
    TFormKestrino form;
    FormKestrino = &form;
    form.FormCreate(&form);
    form.Show();
    Application().ProcessMessages();
    const HWND memo = form.mmoResult.Handle();
    const HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, nullptr, GetCurrentThreadId());

    std::printf("%-10s %14s %14s %8s %16s\n", "lines", "WM_SETTEXT s", "Builder s", "ratio", "longest gap ms");
    for (const std::int32_t lines : {100000, 1000000}) {
        const std::wstring text = ListText(lines);
        SetWindowTextW(memo, L"");
        double start = Seconds();
        SendMessageW(memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        const double setText = Seconds() - start;
        SetWindowTextW(memo, L"");

        form.seQty.SetText(std::to_string(lines));
        g_taken.clear();
        std::atomic<bool> stop{false};
        std::thread ticker([&] {
            while (!stop) {
                PostMessageW(form.Handle(), kTick, 0, 0);
                Sleep(1);
            }
        });
        start = Seconds();
        g_taken.push_back(start);
        form.Button1Click(&form);
        const double fill = Seconds() - start;
        g_taken.push_back(Seconds());
        stop = true;
        ticker.join();
        double gap = 0;
        for (std::size_t i = 1; i < g_taken.size(); ++i) gap = std::max(gap, g_taken[i] - g_taken[i - 1]);
        const bool same = AnsiToWide(form.mmoResult.Text()) == text;
        std::printf("%-10d %14.3f %14.3f %8.2f %16.1f%s\n", lines, setText, fill, fill / setText, gap * 1000,
                    same ? "" : "  (memo differs from the list!)");
        SetWindowTextW(memo, L"");
    }
    std::printf("goal: ratio at most 1.25, longest gap at most 33.3 ms (30 times a second)\n");
    UnhookWindowsHookEx(hook);
    FormKestrino = nullptr;
    return 0;
}
