#include "ui/WinText.h"

#include <climits>
#include <stdexcept>

namespace kestrino {

namespace {
int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) throw std::length_error("text too long");
    return static_cast<int>(size);
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
    const int n = CheckedLength(text.size());
    const int chars = MultiByteToWideChar(CP_ACP, 0, text.data(), n, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(chars), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), n, out.data(), chars);
    return out;
}

std::wstring HwndGetText(HWND hwnd) {
    const LRESULT len = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    if (len <= 0) return {};
    std::wstring text(static_cast<std::size_t>(len) + 1, L'\0');
    const LRESULT got = SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
    return text;
}

void HwndSetText(HWND hwnd, std::wstring_view text) {
    const std::wstring z(text);
    SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(z.c_str()));
}

}  // namespace kestrino
