#include "cli/SafeFile.h"

#include "cli/Errors.h"
#include "cli/Interrupt.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrino::cli {

struct SafeFile::Impl {
    std::string path;    // as given, for messages
    std::string target;  // what the rename replaces: the path, links followed
    std::string temp;    // empty when written in place
    int fd = -1;
    bool placed = false;
};

namespace {

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A symbolic link keeps linking: the file it leads to is the one replaced.
std::string ResolvedTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved)) return resolved;
    }
    return path;
}

}  // namespace

SafeFile::SafeFile(const std::string& path) : impl_(std::make_unique<Impl>()) {
    Impl& f = *impl_;
    f.path = path;
    f.target = ResolvedTarget(path);

    struct stat info {};
    bool exists = false;
    if (::stat(f.target.c_str(), &info) == 0) {
        exists = true;
        if (S_ISDIR(info.st_mode)) throw EFCreateError(path, ErrnoText(EISDIR));
        if (!S_ISREG(info.st_mode)) {
            f.fd = ::open(f.target.c_str(), O_WRONLY | O_CLOEXEC);
            if (f.fd < 0) throw EFCreateError(path, ErrnoText(errno));
            return;
        }
        // A read-only file is not replaced behind its owner's back.
        if (::access(f.target.c_str(), W_OK) != 0) throw EFCreateError(path, ErrnoText(errno));
    } else if (errno != ENOENT) {
        throw EFCreateError(path, ErrnoText(errno));
    }

    // A short name: the folder's name may already be near the system's limit.
    const std::string folder = FolderOf(f.target);
    const unsigned seed = static_cast<unsigned>(::getpid()) * 2654435761u;
    for (unsigned attempt = 0; f.fd < 0; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "/.kc%08x.tmp", seed + attempt * 7919u);
        f.temp = folder + name;
        f.fd = ::open(f.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (f.fd < 0 && (errno != EEXIST || attempt == 100)) {
            const int error = errno;
            f.temp.clear();
            throw EFCreateError(path, ErrnoText(error));
        }
    }
    if (exists) ::fchmod(f.fd, info.st_mode & 07777);
}

SafeFile::~SafeFile() {
    if (impl_->fd >= 0) ::close(impl_->fd);
    if (!impl_->placed && !impl_->temp.empty()) ::unlink(impl_->temp.c_str());
}

void SafeFile::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        ThrowIfInterrupted();
        const ssize_t n = ::write(impl_->fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EWriteError();
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void SafeFile::Commit() {
    Impl& f = *impl_;
    ThrowIfInterrupted();
    // On disk before the rename: after a crash the name holds the old list or the whole new one.
    const bool synced = f.temp.empty() || ::fsync(f.fd) == 0;
    const bool closed = ::close(f.fd) == 0;
    f.fd = -1;
    if (!synced || !closed) throw EWriteError();
    if (f.temp.empty()) return;
    ThrowIfInterrupted();
    if (::rename(f.temp.c_str(), f.target.c_str()) != 0) throw EFCreateError(f.path, ErrnoText(errno));
    f.placed = true;
    const int folder = ::open(FolderOf(f.target).c_str(), O_RDONLY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

}  // namespace kestrino::cli
