#include "fileio/SafeFile.h"

#include "fileio/FileErrors.h"
#include "fileio/SystemText.h"

#include <algorithm>
#include <cerrno>
#include <cwchar>
#include <iterator>
#include <utility>

namespace kestrino::fileio {

const FileSystemCalls& RealFileSystemCalls() {
    static const FileSystemCalls calls;
    return calls;
}

void RemoveNamedTemporaryNow() noexcept {}

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

// Paths below are full and extended.
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void Delete(const std::wstring& path) {
    Retrying([&] { return DeleteFileW(path.c_str()); });
}

// The path as a user reads it: without the extended prefix where it fits.
std::string Shown(const std::wstring& path) {
    std::wstring plain = path;
    if (plain.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        plain = L"\\\\" + plain.substr(8);
    } else if (plain.rfind(L"\\\\?\\", 0) == 0) {
        plain = plain.substr(4);
    }
    return Utf8FromWide(plain);
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

bool SetDeleteOnClose(HANDLE file, bool remove) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// The temporary under a free name whose backup name is free too.
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
        HANDLE file = CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

struct SafeFile::Impl {
    const FileSystemCalls* calls = nullptr;
    std::string path;      // as given, for messages
    std::wstring target;   // the final target, extended
    std::wstring temp;     // extended; empty once placed, removed or kept
    std::wstring backup;
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool direct = false;
    bool deleteOnClose = false;  // the system removes the temporary with its handle

    EFCreateError CreateError(DWORD error) const { return EFCreateError(path, SystemErrorText(error)); }
    EFCreateError KeptError(DWORD error, const std::wstring& newKept, const std::wstring& oldKept) const;
    void OpenDevice(const std::wstring& full);
    void Place();
};

// The create error, then where the files are that could not take the target's name.
EFCreateError SafeFile::Impl::KeptError(DWORD error, const std::wstring& newKept, const std::wstring& oldKept) const {
    std::string message = CreateError(error).Message();
    if (!newKept.empty()) message += ". The new list was kept in \"" + Shown(newKept) + "\"";
    if (!oldKept.empty()) message += ". The old file was kept in \"" + Shown(oldKept) + "\"";
    // A message shown adds no period after a quote.
    if (!newKept.empty() || !oldKept.empty()) message += ".";
    return EFCreateError(std::move(message));
}

void SafeFile::Impl::OpenDevice(const std::wstring& full) {
    direct = true;
    handle = CreateFileW(full.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return;
    // The console by its other name; without one, what a POSIX system says of a terminal it has not got.
    if (_wcsicmp(full.c_str(), L"\\\\.\\CON") == 0) {
        handle = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
        if (handle != INVALID_HANDLE_VALUE) return;
        throw EFCreateError(path, ErrnoText(ENXIO));
    }
    throw CreateError(GetLastError());
}

SafeFile::SafeFile(std::string_view path, const FileSystemCalls& calls) : impl_(std::make_unique<Impl>()) {
    Impl& f = *impl_;
    f.calls = &calls;
    f.path = std::string(path);
    if (path.empty()) throw EFCreateError(path, ErrnoText(ENOENT));
    const std::wstring wide = WideFromUtf8(path);
    std::wstring full(32768, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) throw f.CreateError(length ? ERROR_FILENAME_EXCED_RANGE : GetLastError());
    full.resize(length);
    if (full.rfind(L"\\\\.\\", 0) == 0) {  // NUL, CON and other devices
        f.OpenDevice(full);
        return;
    }

    f.target = Extended(full);
    const DWORD attributes = GetFileAttributesW(f.target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // A folder, or a link or junction to one.
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw EFCreateError(path, ErrnoText(EISDIR));
        // A file that is read-only, or that another program holds open, is
        // reported before anything is written; opening it follows its links.
        HANDLE probe = INVALID_HANDLE_VALUE;
        const DWORD error = Retrying([&] {
            probe = CreateFileW(f.target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
            return probe != INVALID_HANDLE_VALUE;
        });
        if (error != ERROR_SUCCESS) throw f.CreateError(error);
        if (GetFileType(probe) != FILE_TYPE_DISK) {
            f.direct = true;
            f.handle = probe;
            return;
        }
        std::wstring final(32768, L'\0');
        const DWORD n = GetFinalPathNameByHandleW(probe, final.data(), static_cast<DWORD>(final.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        CloseHandle(probe);
        if (n > 0 && n < final.size()) {
            final.resize(n);
            f.target = Extended(final);
        }
    }

    f.handle = CreateTemporary(FolderOf(f.target), f.temp, f.backup);
    if (f.handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        f.temp.clear();
        throw f.CreateError(error);
    }
    f.deleteOnClose = SetDeleteOnClose(f.handle, true);
}

SafeFile::~SafeFile() {
    Impl& f = *impl_;
    if (f.handle != INVALID_HANDLE_VALUE) CloseHandle(f.handle);
    if (!f.temp.empty() && !f.deleteOnClose) Delete(f.temp);
}

bool SafeFile::Direct() const { return impl_->direct; }

void SafeFile::Write(std::string_view bytes) {
    Impl& f = *impl_;
    // Chunks keep every byte count within a DWORD and checked.
    constexpr std::size_t kChunk = 4u << 20;
    while (!bytes.empty()) {
        const DWORD want = static_cast<DWORD>(std::min(bytes.size(), kChunk));
        DWORD got = 0;
        if (!f.calls->writeFile(f.handle, bytes.data(), want, &got, nullptr)) {
            throw EWriteError(f.path, SystemErrorText(GetLastError()));
        }
        if (got == 0) throw EWriteError(f.path, SystemErrorText(ERROR_DISK_FULL));
        bytes.remove_prefix(got);
    }
}

std::string SafeFile::PathForWriting() {
    Impl& f = *impl_;
    if (f.direct) return {};
    // Another program cannot open a file whose deletion is pending, nor one
    // held with the right to delete it: from here on it has a name, like any file.
    if (f.deleteOnClose && SetDeleteOnClose(f.handle, false)) f.deleteOnClose = false;
    if (!f.deleteOnClose) {
        CloseHandle(f.handle);
        f.handle = CreateFileW(f.temp.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f.handle == INVALID_HANDLE_VALUE) throw f.CreateError(GetLastError());
    }
    return Shown(f.temp);
}

void SafeFile::Commit() {
    Impl& f = *impl_;
    if (f.handle == INVALID_HANDLE_VALUE) throw EWriteError(f.path, SystemErrorText(ERROR_INVALID_HANDLE));
    if (f.direct) {
        const bool closed = CloseHandle(f.handle);
        f.handle = INVALID_HANDLE_VALUE;
        if (!closed) throw EWriteError(f.path, SystemErrorText(GetLastError()));
        return;
    }
    bool written = FlushFileBuffers(f.handle) != 0;
    DWORD error = written ? ERROR_SUCCESS : GetLastError();
    // Kept from here on: the system no longer removes it when it closes.
    if (written && f.deleteOnClose) {
        written = SetDeleteOnClose(f.handle, false);
        if (written) {
            f.deleteOnClose = false;
        } else {
            error = GetLastError();
        }
    }
    if (!CloseHandle(f.handle) && written) {
        written = false;
        error = GetLastError();
    }
    f.handle = INVALID_HANDLE_VALUE;
    if (!written) {
        if (f.deleteOnClose) f.temp.clear();
        throw EWriteError(f.path, SystemErrorText(error));
    }
    f.Place();
}

// The closed temporary takes the target's name. A failed replace may already
// have moved the old file away (1176 and 1177 leave the files differently with
// a backup name, and differently on different systems), so the folder, not the
// error code, says where they are.
void SafeFile::Impl::Place() {
    const std::wstring replacement = std::exchange(temp, std::wstring());
    auto move = [&](const std::wstring& from, const std::wstring& to, DWORD flags) {
        return Retrying([&] { return calls->moveFile(from.c_str(), to.c_str(), flags | MOVEFILE_WRITE_THROUGH); });
    };
    if (!Exists(target)) {
        const DWORD error = move(replacement, target, MOVEFILE_REPLACE_EXISTING);
        if (error == ERROR_SUCCESS) return;
        Delete(replacement);
        throw CreateError(error);
    }

    DWORD error = ERROR_SUCCESS;
    for (int attempt = 1;; ++attempt) {
        if (calls->replaceFile(target.c_str(), replacement.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                               nullptr, nullptr)) {
            error = ERROR_SUCCESS;
            break;
        }
        error = GetLastError();
        // Tried again only while both files still have their own names.
        if (!HeldByAnother(error) || attempt == kAttempts || !IsFile(target) || !Exists(replacement)) break;
        Sleep(kPauseMs);
    }
    if (error == ERROR_SUCCESS) {
        if (Exists(backup)) Delete(backup);
        return;
    }
    if (IsFile(target)) {
        // The target still has its name: the old file, kept; the new text goes.
        // A backup beside it may be the only copy of the old file: it stays, named.
        if (Exists(replacement)) Delete(replacement);
        throw KeptError(error, L"", Exists(backup) ? backup : L"");
    }
    // The old file was removed or moved aside: finish if the new file can take
    // the name, else put the old file back.
    if (Exists(replacement) && move(replacement, target, 0) == ERROR_SUCCESS) {
        if (Exists(backup)) Delete(backup);
        return;
    }
    if (Exists(backup) && move(backup, target, 0) == ERROR_SUCCESS) {
        if (Exists(replacement)) Delete(replacement);
        throw CreateError(error);
    }
    throw KeptError(error, Exists(replacement) ? replacement : L"", Exists(backup) ? backup : L"");
}

}  // namespace kestrino::fileio
