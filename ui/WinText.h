#pragma once
// The one place where the program's texts (bytes in the ANSI code page, as the
// number core sees them) meet the window's UTF-16. Every other file of the
// window passes byte strings and calls these.
#include <windows.h>

#include <string>
#include <string_view>

namespace kestrino {

// Characters the code page cannot hold become its default character.
std::string WideToAnsi(std::wstring_view text);
// Texts of plain ASCII, such as every line a run writes, are widened directly.
std::wstring AnsiToWide(std::string_view text);

std::string HwndGetText(HWND hwnd);
void HwndSetText(HWND hwnd, std::string_view text);

// The system's text for an error code, without trailing blanks, line breaks
// and periods; "System error <code>" when the system has none.
std::string SystemErrorText(DWORD error);

}  // namespace kestrino
