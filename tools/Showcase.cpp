// Starts Kestrino, presses Builder, saves the list through the real save
// dialog, takes a picture of the window and closes it, as a user would.
// Used by `make run` when there is no display to open the window on.
//   Showcase.exe <Kestrino.exe> <list.txt> <window.bmp>
// Exit code: Kestrino's own, or 2 when a step failed.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/FindChild.h"
#include "ui/MenuIds.h"

namespace {

HWND WaitForWindow(const wchar_t* cls, const wchar_t* title, DWORD pid, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        HWND found = nullptr;
        while ((found = FindWindowExW(nullptr, found, cls, title)) != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == pid && IsWindowVisible(found)) return found;
        }
        Sleep(50);
    }
    return nullptr;
}

bool SaveWindowPicture(HWND window, const wchar_t* path) {
    RECT r{};
    GetWindowRect(window, &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + stride * static_cast<DWORD>(h);
    bool ok = false;
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
        DWORD put = 0;
        ok = WriteFile(f, &fh, sizeof fh, &put, nullptr) && WriteFile(f, &bi.bmiHeader, sizeof bi.bmiHeader, &put, nullptr) &&
             WriteFile(f, bits, stride * static_cast<DWORD>(h), &put, nullptr);
        CloseHandle(f);
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
}

int Fail(const char* step) {
    std::fprintf(stderr, "showcase: %s\n", step);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return Fail("usage: Showcase.exe <Kestrino.exe> <list.txt> <window.bmp>");
    const std::wstring exe = argv[1];
    const std::wstring list = argv[2];
    const std::wstring picture = argv[3];
    DeleteFileW(list.c_str());

    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + exe + L"\"";
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return Fail("cannot start Kestrino.exe");
    const auto finish = [&](int code) {
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return code;
    };

    const HWND window = WaitForWindow(L"TFormKestrino", L"Kestrino 1.0 Belta", pi.dwProcessId, 30000);
    if (!window) return finish(Fail("the window did not appear"));
    Sleep(500);

    // Builder, then the result page's menu item "Save To Text File".
    const HWND builder = kestrino::FindChild(window, L"Button", L"Builder");
    if (!builder) return finish(Fail("no Builder button"));
    SendMessageW(builder, BM_CLICK, 0, 0);
    Sleep(300);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(kestrino::kCmdSaveToTextFile, 0), 0);
    const HWND dialog = WaitForWindow(L"#32770", nullptr, pi.dwProcessId, 10000);
    if (!dialog) return finish(Fail("the save dialog did not appear"));
    Sleep(300);
    if (!SetDlgItemTextW(dialog, 0x47C, list.c_str())) SetDlgItemTextW(dialog, 0x480, list.c_str());
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    for (int waited = 0; GetFileAttributesW(list.c_str()) == INVALID_FILE_ATTRIBUTES; waited += 50) {
        if (waited > 10000) return finish(Fail("the list was not saved"));
        Sleep(50);
    }

    SetForegroundWindow(window);
    Sleep(700);
    if (!SaveWindowPicture(window, picture.c_str())) return finish(Fail("cannot write the picture"));

    PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) return finish(Fail("Kestrino did not end"));
    DWORD code = 2;
    GetExitCodeProcess(pi.hProcess, &code);
    return finish(static_cast<int>(code));
}
