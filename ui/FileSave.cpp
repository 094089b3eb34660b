#include "ui/FileSave.h"

#include <algorithm>

#include "ui/WinText.h"

namespace kestrino {

EFCreateError CreateErrorFor(std::wstring_view path, DWORD error) {
    return EFCreateError("Cannot create file \"" + WideToAnsi(path) + "\". " + SystemErrorText(error));
}

void SaveBytesToFile(std::wstring_view path, std::string_view bytes, WriteFileFn write) {
    const std::wstring requested(path);
    wchar_t fullBuffer[32768];
    const DWORD fullLength = GetFullPathNameW(requested.c_str(), static_cast<DWORD>(std::size(fullBuffer)), fullBuffer, nullptr);
    if (fullLength == 0 || fullLength >= std::size(fullBuffer)) throw CreateErrorFor(requested, GetLastError());
    const std::wstring full(fullBuffer, fullLength);

    // A target that another program holds open, or that may not be written,
    // is reported as such before anything is written.
    const bool exists = GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (exists) {
        HANDLE probe = CreateFileW(full.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) throw CreateErrorFor(full, GetLastError());
        CloseHandle(probe);
    }

    const std::size_t slash = full.find_last_of(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? L"." : full.substr(0, slash);
    const std::wstring name = slash == std::wstring::npos ? full : full.substr(slash + 1);
    static unsigned counter = 0;
    const std::wstring temp = folder + L"\\" + name + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++counter) + L".tmp";

    HANDLE file = CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw CreateErrorFor(full, GetLastError());

    // Chunks keep every byte count within a DWORD and checked.
    constexpr std::size_t kChunk = 4u << 20;
    bool written = true;
    for (std::size_t done = 0; written && done < bytes.size();) {
        const DWORD want = static_cast<DWORD>(std::min(kChunk, bytes.size() - done));
        DWORD got = 0;
        written = write(file, bytes.data() + done, want, &got, nullptr) && got == want;
        done += want;
    }
    written = written && FlushFileBuffers(file);
    written = CloseHandle(file) && written;
    if (!written) {
        DeleteFileW(temp.c_str());
        throw EWriteError("Stream write error");
    }

    BOOL replaced = FALSE;
    if (GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES) {
        replaced = ReplaceFileW(full.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
    } else {
        replaced = MoveFileExW(temp.c_str(), full.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!replaced) {
        const DWORD error = GetLastError();
        DeleteFileW(temp.c_str());
        throw CreateErrorFor(full, error);
    }
}

}  // namespace kestrino
