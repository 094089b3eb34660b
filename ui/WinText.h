#pragma once
// The one place where the program's texts (bytes in the ANSI code page, as the
// number core sees them) meet the window's UTF-16. Every other file of the
// window passes byte strings and calls these.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrino {

// Characters the code page cannot hold become its default character.
std::string WideToAnsi(std::wstring_view text);
// Texts of plain ASCII, such as every line a run writes, are widened directly.
std::wstring AnsiToWide(std::string_view text);

std::string HwndGetText(HWND hwnd);
void HwndSetText(HWND hwnd, std::string_view text);

// The system's text for an error code (the file layer's), in the ANSI code
// page, without trailing blanks, line breaks and periods; "System error
// <code>" when the system has none.
std::string SystemErrorText(DWORD error);

// The text in the ANSI code page when the code page holds every character of
// it (no default character, no best-fit look-alike); nothing otherwise.
std::optional<std::string> WideToAnsiExactly(std::wstring_view text);
// The first `most` distinct characters of the text that the ANSI code page cannot hold.
std::vector<char32_t> CharactersNotInCodePage(std::wstring_view text, std::size_t most);

}  // namespace kestrino
