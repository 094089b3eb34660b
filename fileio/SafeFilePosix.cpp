#include "fileio/SafeFile.h"

#include "fileio/FileErrors.h"
#include "fileio/SystemText.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrino::fileio {

const FileSystemCalls& RealFileSystemCalls() {
    static const FileSystemCalls calls;
    return calls;
}

namespace {

// The named temporary in progress, for a signal handler to remove.
char namedTemporary[PATH_MAX + 1];
std::atomic<bool> haveNamedTemporary{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void NoteNamedTemporary(const std::string& name) {
    haveNamedTemporary.store(false);
    if (name.size() >= sizeof namedTemporary) return;
    std::memcpy(namedTemporary, name.c_str(), name.size() + 1);
    haveNamedTemporary.store(true);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The descriptor that /dev/fd/N, /proc/self/fd/N or /proc/<our pid>/fd/N
// names; -1 for any other path.
int OwnDescriptor(const std::string& path) {
    const std::string pid = "/proc/" + std::to_string(::getpid()) + "/fd/";
    const std::string prefixes[] = {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/", pid};
    for (const std::string& prefix : prefixes) {
        if (path.rfind(prefix, 0) != 0 || path.size() == prefix.size() || path.size() > prefix.size() + 9) continue;
        int fd = 0;
        for (std::size_t i = prefix.size(); i < path.size(); ++i) {
            if (path[i] < '0' || path[i] > '9') return -1;
            fd = fd * 10 + (path[i] - '0');
        }
        return fd;
    }
    return -1;
}

struct Target {
    std::string path;  // the final target, links followed
    int descriptor = -1;  // a descriptor of ours that the path names, else -1
};

// Follows the last component's links (/dev/stdout leads to /proc/self/fd/1)
// to the file that is replaced; a dangling link leads to the name it would create.
Target FinalTarget(const std::string& path, std::string_view given) {
    Target target{path};
    for (int hops = 0; hops < 40; ++hops) {
        target.descriptor = OwnDescriptor(target.path);
        if (target.descriptor >= 0) return target;
        struct stat info {};
        if (::lstat(target.path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return target;
        char link[PATH_MAX];
        const ssize_t n = ::readlink(target.path.c_str(), link, sizeof link);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof link) {
            throw EFCreateError(given, ErrnoText(n < 0 ? errno : ENAMETOOLONG));
        }
        std::string next(link, static_cast<std::size_t>(n));
        target.path = next[0] == '/' ? next : FolderOf(target.path) + "/" + next;
    }
    throw EFCreateError(given, ErrnoText(ELOOP));
}

bool IsMountPoint(const std::string& path) {
#if defined(STATX_ATTR_MOUNT_ROOT)
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS, &info) != 0) return false;
    return (info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (info.stx_attributes & STATX_ATTR_MOUNT_ROOT);
#else
    (void)path;
    return false;
#endif
}

std::string DescriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

}  // namespace

struct SafeFile::Impl {
    const FileSystemCalls* calls = nullptr;
    std::string path;    // as given, for messages
    std::string target;  // what the rename replaces
    std::string temp;    // the temporary's name; empty while it has none
    int fd = -1;
    bool direct = false;
    bool unnamed = false;  // an O_TMPFILE not linked anywhere yet

    void OpenTemporary(const struct stat* old);
    void GiveTemporaryAName();
    void RemoveTemporary() {
        if (temp.empty()) return;
        ::unlink(temp.c_str());
        temp.clear();
        haveNamedTemporary.store(false);
    }
};

void SafeFile::Impl::OpenTemporary(const struct stat* old) {
    const std::string folder = FolderOf(target);
#ifdef O_TMPFILE
    fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0 && ::access(DescriptorPath(fd).c_str(), F_OK) != 0) {
        // Without /proc it could not be linked in at the end.
        ::close(fd);
        fd = -1;
        errno = EOPNOTSUPP;
    }
    if (fd >= 0) {
        unnamed = true;
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        throw EFCreateError(path, ErrnoText(errno));
    }
#endif
    if (fd < 0) {
        const unsigned seed = static_cast<unsigned>(::getpid()) * 2654435761u;
        for (unsigned attempt = 0; fd < 0; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, "/.~k%06x.tmp", (seed + attempt * 7919u) & 0xFFFFFFu);
            temp = folder + name;
            fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && (errno != EEXIST || attempt == 100)) {
                const int error = errno;
                temp.clear();
                throw EFCreateError(path, ErrnoText(error));
            }
        }
        NoteNamedTemporary(temp);
    }
    if (!old) return;
    // Another user's file stays theirs where we may say so (as root, or its
    // group as a member of it); chown clears set-id bits, so the mode goes last.
    if (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) {
        if (::fchown(fd, old->st_uid, old->st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), old->st_gid);
    }
    ::fchmod(fd, old->st_mode & 07777);
}

// Links the unnamed temporary into the folder under a free name.
void SafeFile::Impl::GiveTemporaryAName() {
    const std::string folder = FolderOf(target);
    const unsigned seed = static_cast<unsigned>(::getpid()) * 2654435761u;
    for (unsigned attempt = 0;; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "/.~k%06x.tmp", (seed + attempt * 7919u) & 0xFFFFFFu);
        const std::string candidate = folder + name;
        if (::linkat(AT_FDCWD, DescriptorPath(fd).c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temp = candidate;
            NoteNamedTemporary(temp);
            unnamed = false;
            return;
        }
        if (errno != EEXIST || attempt == 100) {
            throw EFCreateError(path, ErrnoText(errno));
        }
    }
}

SafeFile::SafeFile(std::string_view path, const FileSystemCalls& calls) : impl_(std::make_unique<Impl>()) {
    Impl& f = *impl_;
    f.calls = &calls;
    f.path = std::string(path);
    if (path.empty()) throw EFCreateError(path, ErrnoText(ENOENT));
    const Target target = FinalTarget(f.path, path);
    f.target = target.path;

    if (target.descriptor >= 0) {
        // Our own standard output or error: the same open file, so that an
        // appending redirection goes on appending.
        f.direct = true;
        f.fd = ::fcntl(target.descriptor, F_DUPFD_CLOEXEC, 3);
        if (f.fd < 0) throw EFCreateError(path, ErrnoText(errno));
        struct stat info {};
        if (::fstat(f.fd, &info) == 0 && S_ISDIR(info.st_mode)) throw EFCreateError(path, ErrnoText(EISDIR));
        return;
    }

    struct stat info {};
    if (::stat(f.target.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) throw EFCreateError(path, ErrnoText(EISDIR));
        if (!S_ISREG(info.st_mode)) {
            f.direct = true;
            f.fd = ::open(f.target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (f.fd < 0) throw EFCreateError(path, ErrnoText(errno));
            return;
        }
        // A read-only file is not replaced behind its owner's back, and a
        // mounted file cannot be: both found before any work is done.
        if (::access(f.target.c_str(), W_OK) != 0) throw EFCreateError(path, ErrnoText(errno));
        if (IsMountPoint(f.target)) throw EFCreateError(path, ErrnoText(EBUSY));
        f.OpenTemporary(&info);
    } else if (errno == ENOENT) {
        f.OpenTemporary(nullptr);
    } else {
        throw EFCreateError(path, ErrnoText(errno));
    }
}

SafeFile::~SafeFile() {
    if (impl_->fd >= 0) ::close(impl_->fd);
    impl_->RemoveTemporary();
}

bool SafeFile::Direct() const { return impl_->direct; }

void SafeFile::Write(std::string_view bytes) {
    Impl& f = *impl_;
    while (!bytes.empty()) {
        const ssize_t n = f.calls->write(f.fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EWriteError(f.path, ErrnoText(n < 0 ? errno : EIO));
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string SafeFile::PathForWriting() {
    Impl& f = *impl_;
    if (f.direct) return {};
    return f.unnamed ? DescriptorPath(f.fd) : f.temp;
}

void SafeFile::Commit() {
    Impl& f = *impl_;
    if (f.fd < 0) throw EWriteError(f.path, ErrnoText(EBADF));
    if (f.direct) {
        const int fd = f.fd;
        f.fd = -1;
        if (::close(fd) != 0 && errno != EINTR) throw EWriteError(f.path, ErrnoText(errno));
        return;
    }
    // On disk before the rename: after a crash the name holds the old file or the whole new one.
    if (::fsync(f.fd) != 0) throw EWriteError(f.path, ErrnoText(errno));

    bool placed = false;
    if (f.unnamed) {
        // A new name takes the file at once; an existing one is replaced by a rename.
        if (::linkat(AT_FDCWD, DescriptorPath(f.fd).c_str(), AT_FDCWD, f.target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            placed = true;
        } else if (errno != EEXIST) {
            throw EFCreateError(f.path, ErrnoText(errno));
        } else {
            f.GiveTemporaryAName();
        }
    }
    if (!placed) {
        if (f.calls->rename(f.temp.c_str(), f.target.c_str()) != 0) {
            const int error = errno;
            f.RemoveTemporary();
            throw EFCreateError(f.path, ErrnoText(error));
        }
        f.temp.clear();
        haveNamedTemporary.store(false);
    }
    const int fd = f.fd;
    f.fd = -1;
    if (::close(fd) != 0 && errno != EINTR) throw EWriteError(f.path, ErrnoText(errno));
    const int folder = ::open(FolderOf(f.target).c_str(), O_RDONLY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

void RemoveNamedTemporaryNow() noexcept {
    if (haveNamedTemporary.exchange(false)) ::unlink(namedTemporary);
}

}  // namespace kestrino::fileio
