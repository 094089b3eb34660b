#pragma once
// The system's texts for its error codes, and on Windows the conversions
// between the layer's UTF-8 and the system's UTF-16 paths.
#include <string>
#include <string_view>

namespace kestrino::fileio {

// The C library's text for an errno value, as a message's reason (no final period).
std::string ErrnoText(int code);

#ifdef _WIN32
// The system's text for a Windows error code, in UTF-8, as a message's reason;
// "System error <code>" when the system has none.
std::string SystemErrorText(unsigned long code);

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// A full path in its extended-length form (\\?\C:\..., \\?\UNC\server\...),
// which takes names past MAX_PATH; device paths (\\.\) stay as they are.
std::wstring Extended(const std::wstring& full);
#endif

}  // namespace kestrino::fileio
