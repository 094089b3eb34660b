#pragma once
// Saving the Result page as a text file, through the file layer (fileio/),
// with the messages the window shows.
#include <windows.h>

#include <string>
#include <string_view>

#include "fileio/FileErrors.h"

namespace kestrino {

// The two steps tests replace to fail a save: the write, and the replace of an
// existing file (ReplaceFileW's signature). They reach the file layer's calls.
using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
using ReplaceFileFn = BOOL(WINAPI*)(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID, LPVOID);

// Writes bytes to path through fileio::SafeFile: the target holds exactly the
// bytes afterwards, or the old file is intact under its name (see the layer
// for where both are kept when neither can take the name). A link is followed
// and stays a link; a device is written directly. Messages are in the ANSI
// code page: EFCreateError "Cannot create file "<path>". <reason>" and
// EWriteError "Stream write error".
void SaveBytesToFile(std::wstring_view path, std::string_view bytes, WriteFileFn write = ::WriteFile,
                     ReplaceFileFn replace = ::ReplaceFileW);

// Saves the page's text in the ANSI code page, byte for byte, or, when the
// code page cannot hold a character of it, writes nothing and throws
// EFCreateError naming those characters.
void SaveTextToFile(std::wstring_view path, std::wstring_view text, WriteFileFn write = ::WriteFile,
                    ReplaceFileFn replace = ::ReplaceFileW);

}  // namespace kestrino
