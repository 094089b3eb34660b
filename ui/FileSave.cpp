#include "ui/FileSave.h"

#include <algorithm>
#include <cwchar>
#include <utility>

#include "ui/WinText.h"

namespace kestrino {
namespace {

// About a second of short waits for a scanner or indexer to let go of a file.
constexpr int kAttempts = 20;
constexpr DWORD kPauseMs = 50;

bool HeldByAnother(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

// Runs a file operation until it succeeds or fails for another reason than a
// file held by another program; ERROR_SUCCESS or the last error.
template <class Operation>
DWORD Retrying(Operation operation) {
    for (int attempt = 1;; ++attempt) {
        if (operation()) return ERROR_SUCCESS;
        const DWORD error = GetLastError();
        if (!HeldByAnother(error) || attempt == kAttempts) return error;
        Sleep(kPauseMs);
    }
}

// The extended form takes a path past MAX_PATH: a temporary name beside a
// target near the limit must still work. The path is already full.
std::wstring Extended(const std::wstring& full) {
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

bool Exists(const std::wstring& full) { return GetFileAttributesW(Extended(full).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFile(const std::wstring& full) {
    const DWORD attributes = GetFileAttributesW(Extended(full).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD Move(const std::wstring& from, const std::wstring& to, DWORD flags) {
    return Retrying([&] { return MoveFileExW(Extended(from).c_str(), Extended(to).c_str(), flags | MOVEFILE_WRITE_THROUGH); });
}

void Delete(const std::wstring& full) {
    Retrying([&] { return DeleteFileW(Extended(full).c_str()); });
}

// Creates the temporary file under a free name whose backup name is free too.
HANDLE CreateTemporary(const std::wstring& folder, std::wstring& temp, std::wstring& backup) {
    static unsigned counter = static_cast<unsigned>(GetTickCount64()) ^ (GetCurrentProcessId() << 12);
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 64; ++attempt) {
        // Scattered, so that leftovers of other saves do not make long runs of taken names.
        unsigned x = ++counter * 0x9E3779B9u;
        x ^= x >> 15;
        wchar_t stem[16];
        std::swprintf(stem, std::size(stem), L"~k%06x", x & 0xFFFFFFu);
        temp = folder + L"\\" + stem + L".tmp";
        backup = folder + L"\\" + stem + L".bak";
        if (Exists(backup)) continue;
        HANDLE file = CreateFileW(Extended(temp).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

EFCreateError CreateErrorFor(std::wstring_view path, DWORD error) {
    return EFCreateError("Cannot create file \"" + WideToAnsi(path) + "\". " + SystemErrorText(error));
}

namespace {

// The create error, plus where the files are that could not take the target's name.
EFCreateError KeptError(std::wstring_view full, DWORD error, const std::wstring& newKept, const std::wstring& oldKept) {
    std::string message = CreateErrorFor(full, error).Message();
    if (!newKept.empty()) message += ". The new list was kept in \"" + WideToAnsi(newKept) + "\"";
    if (!oldKept.empty()) message += ". The old file was kept in \"" + WideToAnsi(oldKept) + "\"";
    // The error box adds no period after a quote.
    if (!newKept.empty() || !oldKept.empty()) message += ".";
    return EFCreateError(std::move(message));
}

}  // namespace

void SaveBytesToFile(std::wstring_view path, std::string_view bytes, WriteFileFn write, ReplaceFileFn replace) {
    const std::wstring requested(path);
    wchar_t fullBuffer[32768];
    const DWORD fullLength = GetFullPathNameW(requested.c_str(), static_cast<DWORD>(std::size(fullBuffer)), fullBuffer, nullptr);
    if (fullLength == 0 || fullLength >= std::size(fullBuffer)) throw CreateErrorFor(requested, GetLastError());
    const std::wstring full(fullBuffer, fullLength);
    const std::wstring target = Extended(full);

    // A target that another program holds open, or that may not be written,
    // is reported as such before anything is written.
    if (Exists(full)) {
        const DWORD error = Retrying([&] {
            HANDLE probe = CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
            if (probe == INVALID_HANDLE_VALUE) return false;
            CloseHandle(probe);
            return true;
        });
        if (error != ERROR_SUCCESS) throw CreateErrorFor(full, error);
    }

    const std::size_t slash = full.find_last_of(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? L"." : full.substr(0, slash);
    std::wstring temp;
    std::wstring backup;
    HANDLE file = CreateTemporary(folder, temp, backup);
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
        Delete(temp);
        throw EWriteError("Stream write error");
    }

    if (!Exists(full)) {
        const DWORD error = Move(temp, full, MOVEFILE_REPLACE_EXISTING);
        if (error != ERROR_SUCCESS) {
            Delete(temp);
            throw CreateErrorFor(full, error);
        }
        return;
    }

    DWORD error = ERROR_SUCCESS;
    for (int attempt = 1;; ++attempt) {
        if (replace(target.c_str(), Extended(temp).c_str(), Extended(backup).c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                    nullptr, nullptr)) {
            error = ERROR_SUCCESS;
            break;
        }
        error = GetLastError();
        // Tried again only while both files still have their own names.
        if (!HeldByAnother(error) || attempt == kAttempts || !IsFile(full) || !Exists(temp)) break;
        Sleep(kPauseMs);
    }
    if (error == ERROR_SUCCESS) {
        if (Exists(backup)) Delete(backup);
        return;
    }

    if (IsFile(full)) {
        // The target still has its name: the old file, kept; the new text goes.
        // A backup beside it may be the only copy of the old file: it stays, named.
        if (Exists(temp)) Delete(temp);
        throw KeptError(full, error, L"", Exists(backup) ? backup : L"");
    }
    // The old file was removed or moved aside: finish the save if the new file
    // can take the name, else put the old file back.
    if (Exists(temp) && Move(temp, full, 0) == ERROR_SUCCESS) {
        if (Exists(backup)) Delete(backup);
        return;
    }
    if (Exists(backup) && Move(backup, full, 0) == ERROR_SUCCESS) {
        if (Exists(temp)) Delete(temp);
        throw CreateErrorFor(full, error);
    }
    throw KeptError(full, error, Exists(temp) ? temp : L"", Exists(backup) ? backup : L"");
}

}  // namespace kestrino
