#pragma once
// Saving a text file so that a failed save never leaves a truncated file and
// never destroys the file that was there.
#include <windows.h>

#include <string>
#include <string_view>

#include "core/Exception.h"

namespace kestrino {

// Saving failed: the file could not be created or replaced, or not written.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// "Cannot create file "<path>". <reason>", the reason being the system's text
// for the error (SystemErrorText).
EFCreateError CreateErrorFor(std::wstring_view path, DWORD error);

// The two steps tests replace to fail a save: the write, and the replace of an
// existing file (ReplaceFileW's signature).
using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
using ReplaceFileFn = BOOL(WINAPI*)(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID, LPVOID);

// Writes bytes to path, replacing a file of that name, without ever leaving a
// partial file under that name or losing both the old file and the new text.
//
// The bytes go into a temporary file beside the target, "~k" + 6 hex digits +
// ".tmp" (short, and every path reaches the system in its extended form, so any
// name the save dialog accepts can be saved), are flushed, and the file then
// takes the target's name: by a move when there is no target, else by replace,
// which moves the old file aside to "~k<same digits>.bak". A target or a file
// held by another program for a moment (sharing or access violation) is tried
// again for about a second before the failure counts.
//
// On return the target holds exactly the bytes. On EWriteError ("Stream write
// error") or EFCreateError the old file is intact under its own name and no
// file of ours is left, but for this: a failed replace may already have moved
// the old file away (1176 and 1177 leave the files differently with a backup
// name, and differently on different systems), so the folder, not the error
// code, says where they are. With the target's name free, the new file is moved
// in and the save succeeds; failing that, the old file is moved back and the
// error reported. When neither can take the name, both stay and the message
// ends with where the new list and the old file were kept; a backup found
// beside a surviving target also stays, named.
void SaveBytesToFile(std::wstring_view path, std::string_view bytes, WriteFileFn write = ::WriteFile,
                     ReplaceFileFn replace = ::ReplaceFileW);

}  // namespace kestrino
