#pragma once
// Writing a file so that it is replaced by complete contents or not at all.
#include "fileio/ByteOutput.h"

#include <memory>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/types.h>
#endif

namespace kestrino::fileio {

// The system calls through which the writer writes and places its file, in
// one struct passed in: tests replace one to cause what a real disk seldom
// does (a replace that fails half-way). Must outlive the SafeFile.
struct FileSystemCalls {
#ifdef _WIN32
    decltype(&::WriteFile) writeFile = &::WriteFile;
    decltype(&::ReplaceFileW) replaceFile = &::ReplaceFileW;
    decltype(&::MoveFileExW) moveFile = &::MoveFileExW;
#else
    ssize_t (*write)(int, const void*, size_t) = &::write;
    int (*rename)(const char*, const char*) = &::rename;
#endif
};

// The real calls.
const FileSystemCalls& RealFileSystemCalls();

// A file replaced only by complete contents.
//
// A regular file, or a link to one, is written into a temporary file in the
// folder of the link's final target; Commit gives it the target's name, the
// old file's permissions and, where the process may set them, its owner and
// group; the link stays a link. Until then, and whenever anything fails, the
// old file stays as it was. The temporary has no name where the system allows
// (Linux: O_TMPFILE; Windows: deleted when its handle closes, undone at
// Commit), so that not even a killed process leaves one behind.
//
// Anything else (a device such as /dev/stdout, /dev/null or NUL, a FIFO, a
// terminal, a descriptor the process holds) is written directly, appending
// where it was opened for appending, and never replaced. A folder, or a link
// to one, is refused.
//
// Paths and messages are UTF-8. Errors name the path as given.
class SafeFile final : public ByteOutput {
public:
    // Checks first whatever would stop the replace at the end: a folder, a
    // missing folder, a read-only file or folder, a file held open elsewhere
    // (tried again for about a second), a mount point. Throws EFCreateError.
    explicit SafeFile(std::string_view path, const FileSystemCalls& calls = RealFileSystemCalls());
    // Without a Commit the temporary goes and the old file stays.
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Throws EWriteError ("Cannot write file "<path>". <reason>").
    void Write(std::string_view bytes) override;

    // A path that another library may open and write in place of Write (for
    // one that takes a file name, such as a spreadsheet writer): the bytes it
    // leaves there are what Commit places. On Linux it names the unnamed
    // temporary through /proc/self/fd; elsewhere it is the temporary's own
    // name, which from then on may outlive a killed process. Empty for a file
    // written directly.
    std::string PathForWriting();

    // Puts the written bytes in place under the file's name (on disk first).
    // Throws EWriteError or EFCreateError. Should neither the old nor the new
    // file be able to take the name, both are kept and the message ends with
    // where ("... The new list was kept in "<path>". The old file was kept in
    // "<path>".").
    void Commit();

    // Whether the file is written directly instead of replaced.
    bool Direct() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Removes the named temporary of a SafeFile in progress, if there is one (a
// file system without unnamed temporaries). Async-signal-safe: for a handler
// of a signal that ends the process.
void RemoveNamedTemporaryNow() noexcept;

}  // namespace kestrino::fileio
