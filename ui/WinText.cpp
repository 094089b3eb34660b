#include "ui/WinText.h"

#include "core/Exception.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace kestrino {

namespace {
int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) throw std::length_error("text too long");
    return static_cast<int>(size);
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}
}  // namespace

std::string WideToAnsi(std::wstring_view text) {
    if (text.empty()) return {};
    const int n = CheckedLength(text.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), n, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), n, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::wstring AnsiToWide(std::string_view text) {
    if (text.empty()) return {};
    // Every ANSI code page maps ASCII onto the same UTF-16 values.
    if (IsAscii(text)) return std::wstring(text.begin(), text.end());
    const int n = CheckedLength(text.size());
    const int chars = MultiByteToWideChar(CP_ACP, 0, text.data(), n, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(chars), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), n, out.data(), chars);
    return out;
}

std::string HwndGetText(HWND hwnd) {
    const LRESULT len = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    if (len <= 0) return {};
    std::wstring text(static_cast<std::size_t>(len) + 1, L'\0');
    const LRESULT got = SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
    return WideToAnsi(text);
}

void HwndSetText(HWND hwnd, std::string_view text) {
    const std::wstring wide = AnsiToWide(text);
    SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

std::string SystemErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const std::wstring text = n && buffer ? std::wstring(buffer, n) : L"System error " + std::to_wstring(error);
    if (buffer) LocalFree(buffer);
    return ReasonText(WideToAnsi(text));
}

}  // namespace kestrino
