#pragma once
// Saving the Result page as a text file, through the file layer (fileio/),
// with the messages the window shows.
#include <windows.h>

#include <string>
#include <string_view>

#include "fileio/FileErrors.h"
#include "fileio/SafeFile.h"

namespace kestrino {

// Writes bytes to path through fileio::SafeFile: the target holds exactly the
// bytes afterwards, or the old file is intact under its name (see the layer
// for where both are kept when neither can take the name). A link is followed
// and stays a link; a device is written directly. Messages are in the ANSI
// code page: EFCreateError "Cannot create file "<path>". <reason>" and
// EWriteError "Stream write error".
// calls are the layer's system calls (tests replace one to fail a save).
void SaveBytesToFile(std::wstring_view path, std::string_view bytes,
                     const fileio::FileSystemCalls& calls = fileio::RealFileSystemCalls());

// Saves the page's text in the ANSI code page, byte for byte, or, when the
// code page cannot hold a character of it, writes nothing and throws
// EFCreateError naming those characters.
void SaveTextToFile(std::wstring_view path, std::wstring_view text,
                    const fileio::FileSystemCalls& calls = fileio::RealFileSystemCalls());

}  // namespace kestrino
