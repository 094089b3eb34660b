#include "cli/SafeFile.h"

#include "cli/Errors.h"
#include "cli/Interrupt.h"

#include <algorithm>
#include <cstdio>

namespace kestrino::cli {

struct SafeFile::Impl {
    std::string path;      // as given, for messages
    std::wstring target;   // full path
    std::wstring temp;     // empty when written in place
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool keepTemp = false;  // placed, or the only copy of the new list
};

PlacingCalls& SafeFilePlacingCalls() {
    static PlacingCalls calls;
    return calls;
}

namespace {

std::string LastErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const std::string text = n && buffer ? Utf8FromWide(std::wstring_view(buffer, n)) : "System error " + std::to_string(error);
    if (buffer) LocalFree(buffer);
    return ReasonText(text);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A short name in the folder that nothing uses yet.
std::wstring FreeName(const std::wstring& folder, const wchar_t* extension, unsigned attempt) {
    wchar_t name[32];
    const unsigned value = GetCurrentProcessId() * 2654435761u + GetTickCount() + attempt * 7919u;
    std::swprintf(name, std::size(name), L"\\~kc%08x.%ls", value, extension);
    return folder + name;
}

// Virus scanners and indexers hold new files open for a moment: such refusals
// are retried for about a second. Returns 0 or the last error.
template <typename Call>
DWORD Retrying(Call call) {
    DWORD error = 0;
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (call()) return 0;
        error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION) break;
        Sleep(50);
    }
    return error;
}

DWORD Move(const std::wstring& from, const std::wstring& to) {
    return Retrying([&] { return SafeFilePlacingCalls().moveFile(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH); });
}

}  // namespace

SafeFile::SafeFile(const std::string& path) : impl_(std::make_unique<Impl>()) {
    Impl& f = *impl_;
    f.path = path;
    const std::wstring wide = WideFromUtf8(path);
    std::wstring full(32768, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) throw EFCreateError(path, LastErrorText(GetLastError()));
    full.resize(length);
    f.target = full;

    if (full.rfind(L"\\\\.\\", 0) == 0) {  // NUL, CON and other devices
        f.handle = CreateFileW(full.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f.handle == INVALID_HANDLE_VALUE) throw EFCreateError(path, LastErrorText(GetLastError()));
        return;
    }
    // A file that is read-only, a folder, or a file another program holds
    // open is reported before anything is written.
    if (Exists(full)) {
        HANDLE probe = CreateFileW(full.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) throw EFCreateError(path, LastErrorText(GetLastError()));
        CloseHandle(probe);
    }

    const std::wstring folder = full.substr(0, full.find_last_of(L'\\'));
    for (unsigned attempt = 0; f.handle == INVALID_HANDLE_VALUE; ++attempt) {
        f.temp = FreeName(folder, L"tmp", attempt);
        f.handle = CreateFileW(f.temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f.handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100) {
                f.temp.clear();
                throw EFCreateError(path, LastErrorText(error));
            }
        }
    }
}

SafeFile::~SafeFile() {
    if (impl_->handle != INVALID_HANDLE_VALUE) CloseHandle(impl_->handle);
    if (!impl_->keepTemp && !impl_->temp.empty()) DeleteFileW(impl_->temp.c_str());
}

void SafeFile::Write(std::string_view bytes) {
    constexpr std::size_t kChunk = 1u << 30;
    while (!bytes.empty()) {
        ThrowIfInterrupted();
        const DWORD want = static_cast<DWORD>(std::min(bytes.size(), kChunk));
        DWORD got = 0;
        if (!WriteFile(impl_->handle, bytes.data(), want, &got, nullptr) || got == 0) throw EWriteError();
        bytes.remove_prefix(got);
    }
}

void SafeFile::Commit() {
    Impl& f = *impl_;
    ThrowIfInterrupted();
    const bool flushed = f.temp.empty() || FlushFileBuffers(f.handle);
    const bool closed = CloseHandle(f.handle);
    f.handle = INVALID_HANDLE_VALUE;
    if (!flushed || !closed) throw EWriteError();
    if (f.temp.empty()) return;
    ThrowIfInterrupted();

    const std::wstring folder = f.target.substr(0, f.target.find_last_of(L'\\'));
    DWORD error = 0;
    if (!Exists(f.target)) {
        error = Move(f.temp, f.target);
        if (error == 0) {
            f.keepTemp = true;
            return;
        }
        // Created by someone else meanwhile: replaced like any existing file.
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) throw EFCreateError(f.path, LastErrorText(error));
    }

    // With a backup name, a failed replace never leaves the old file under a
    // name we do not know.
    std::wstring backup;
    for (unsigned attempt = 0; backup.empty() || Exists(backup); ++attempt) backup = FreeName(folder, L"bak", attempt);
    error = Retrying([&] {
        return SafeFilePlacingCalls().replaceFile(f.target.c_str(), f.temp.c_str(), backup.c_str(),
                                                  REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                                                  nullptr);
    });
    if (error == 0 || (!Exists(f.temp) && Exists(f.target))) {
        f.keepTemp = true;
        DeleteFileW(backup.c_str());
        return;
    }
    // The old file still under its name: the new list may go.
    if (Exists(f.target)) throw EFCreateError(f.path, LastErrorText(error));

    // The old file was moved to the backup and the new one not moved in
    // (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2): try the new one once more, then the old one.
    if (Move(f.temp, f.target) == 0) {
        f.keepTemp = true;
        DeleteFileW(backup.c_str());
        return;
    }
    if (Exists(backup) && Move(backup, f.target) == 0) throw EFCreateError(f.path, LastErrorText(error));
    f.keepTemp = true;
    std::string message = EFCreateError(f.path, LastErrorText(error)).Message();
    message += ". The new list was kept in \"" + Utf8FromWide(f.temp) + "\"";
    if (Exists(backup)) message += " and the old file in \"" + Utf8FromWide(backup) + "\"";
    throw EStreamError(message);
}

}  // namespace kestrino::cli
