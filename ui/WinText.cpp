#include "ui/WinText.h"

#include "core/Exception.h"
#include "fileio/SystemText.h"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <vector>

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

std::string SystemErrorText(DWORD error) { return WideToAnsi(fileio::WideFromUtf8(fileio::SystemErrorText(error))); }

std::optional<std::string> WideToAnsiExactly(std::wstring_view text) {
    if (text.empty()) return std::string();
    const int n = CheckedLength(text.size());
    const UINT codePage = GetACP();
    // UTF-8 holds every character; the flags below are not allowed with it.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* lost = utf8 ? nullptr : &usedDefault;
    const int bytes = WideCharToMultiByte(codePage, flags, text.data(), n, nullptr, 0, nullptr, lost);
    if (bytes == 0 || usedDefault) return std::nullopt;
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(codePage, flags, text.data(), n, out.data(), bytes, nullptr, lost);
    if (usedDefault) return std::nullopt;
    return out;
}

std::vector<char32_t> CharactersNotInCodePage(std::wstring_view text, std::size_t most) {
    std::vector<char32_t> found;
    for (std::size_t i = 0; i < text.size() && found.size() < most;) {
        const bool pair = i + 1 < text.size() && IS_HIGH_SURROGATE(text[i]) && IS_LOW_SURROGATE(text[i + 1]);
        const std::wstring_view one = text.substr(i, pair ? 2 : 1);
        i += one.size();
        if (WideToAnsiExactly(one)) continue;
        const char32_t c =
            pair ? 0x10000 + ((char32_t(one[0]) - 0xD800) << 10) + (char32_t(one[1]) - 0xDC00) : char32_t(one[0]);
        if (std::find(found.begin(), found.end(), c) == found.end()) found.push_back(c);
    }
    return found;
}

}  // namespace kestrino
