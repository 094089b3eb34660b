#pragma once
// The one place where the program's texts (bytes in the ANSI code page, as the
// number core sees them) meet the window's UTF-16.
#include <windows.h>

#include <string>
#include <string_view>

namespace kestrino {

// Characters the code page cannot hold become its default character.
std::string WideToAnsi(std::wstring_view text);
std::wstring AnsiToWide(std::string_view text);

std::wstring HwndGetText(HWND hwnd);
void HwndSetText(HWND hwnd, std::wstring_view text);

}  // namespace kestrino
