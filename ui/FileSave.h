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

// Writes bytes to path without ever leaving a partial file under that name: a
// temporary file in the same folder is written, then replaces the target.
// Throws EFCreateError when the file cannot be created or replaced and
// EWriteError when writing fails. The seam lets tests fail a write.
using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
void SaveBytesToFile(std::wstring_view path, std::string_view bytes, WriteFileFn write = ::WriteFile);

}  // namespace kestrino
