#pragma once

#include "cli/SystemIo.h"

#include <memory>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#endif

namespace kestrino::cli {

// A file that is replaced only by complete contents. The bytes go into a
// temporary file beside it, which takes the file's name at Commit; until then,
// and whenever anything fails, the old file stays as it was and the temporary
// file is removed. A device (/dev/null, NUL) is written in place.
class SafeFile final : public ByteOutput {
public:
    // Throws EFCreateError when the file could not be replaced: a folder, a
    // read-only file, a file held open elsewhere, a folder that may not be written.
    explicit SafeFile(const std::string& path);
    // Without a Commit, removes the temporary file.
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Throws EWriteError (a full disk) or EInterrupted.
    void Write(std::string_view bytes) override;
    // Puts the written bytes in place under the file's name. Throws
    // EWriteError, EInterrupted or, when the rename fails, EFCreateError; in
    // the rare case that neither the old file nor the new one can be put back
    // under the name, the message says where the new one was kept.
    void Commit();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

#ifdef _WIN32
// The two calls that put the new file in place. Tests replace them to cause
// what a real disk seldom does: a replacement that could not be moved.
struct PlacingCalls {
    decltype(&ReplaceFileW) replaceFile = &ReplaceFileW;
    decltype(&MoveFileExW) moveFile = &MoveFileExW;
};
PlacingCalls& SafeFilePlacingCalls();
#endif

}  // namespace kestrino::cli
