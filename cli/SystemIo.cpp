#include "cli/SystemIo.h"

#include "cli/Errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kestrino::cli {
namespace {

#ifdef _WIN32
// The CRT's calls take unsigned int counts.
constexpr std::size_t kMaxCall = 1u << 30;

long long WriteSome(int fd, const char* data, std::size_t size) {
    return _write(fd, data, static_cast<unsigned>(std::min(size, kMaxCall)));
}
long long ReadSome(int fd, char* data, std::size_t size) {
    return _read(fd, data, static_cast<unsigned>(std::min(size, kMaxCall)));
}
bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}
#else
long long WriteSome(int fd, const char* data, std::size_t size) { return ::write(fd, data, size); }
long long ReadSome(int fd, char* data, std::size_t size) { return ::read(fd, data, size); }
#endif

// False with errno set when the system refused the bytes.
bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const long long n = WriteSome(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

void StandardOutput::Write(std::string_view bytes) {
    if (!WriteAll(1, bytes)) throw EWriteError("Cannot write to standard output. " + ErrnoText(errno));
}

void WriteStandardError(std::string_view text) { WriteAll(2, text); }

#ifdef _WIN32
bool StandardErrorIsTerminal() { return IsConsole(STD_ERROR_HANDLE); }
bool StandardOutputIsTerminal() { return IsConsole(STD_OUTPUT_HANDLE); }

void UseBinaryStandardStreams() {
    _setmode(0, _O_BINARY);
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
}

#else
bool StandardErrorIsTerminal() { return isatty(2) == 1; }
bool StandardOutputIsTerminal() { return isatty(1) == 1; }
void UseBinaryStandardStreams() {}
#endif

std::uint64_t RegularFileSize(const std::string& name) {
#ifdef _WIN32
    struct _stat64 info {};
    if (_wstat64(WideFromUtf8(name).c_str(), &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG)
        return static_cast<std::uint64_t>(info.st_size);
#else
    struct stat info {};
    if (::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return static_cast<std::uint64_t>(info.st_size);
#endif
    return 0;
}

InputFile::InputFile(const std::string& name) : name_(name) {
    if (name == "-") {
        fd_ = 0;
        return;
    }
#ifdef _WIN32
    fd_ = _wopen(WideFromUtf8(name).c_str(), _O_RDONLY | _O_BINARY);
#else
    fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
#endif
    if (fd_ < 0) {
        int error = errno;
#ifdef _WIN32
        // What a POSIX system says of a folder, where Windows says only that access is denied.
        const DWORD attributes = GetFileAttributesW(WideFromUtf8(name).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) error = EISDIR;
#endif
        throw EReadError(name, ErrnoText(error));
    }
    owned_ = true;
#ifdef _WIN32
    struct _stat64 info {};
    if (_fstat64(fd_, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG) size_ = static_cast<std::uint64_t>(info.st_size);
#else
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) size_ = static_cast<std::uint64_t>(info.st_size);
#endif
}

InputFile::~InputFile() {
#ifdef _WIN32
    if (owned_) _close(fd_);
#else
    if (owned_) ::close(fd_);
#endif
}

std::size_t InputFile::Read(char* buffer, std::size_t size) {
    for (;;) {
        const long long n = ReadSome(fd_, buffer, size);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EINTR) continue;
        throw EReadError(name_, ErrnoText(errno));
    }
}

}  // namespace kestrino::cli
