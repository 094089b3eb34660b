#pragma once

#include "cli/SystemIo.h"
#include "fileio/SafeFile.h"

#include <string>
#include <string_view>

namespace kestrino::cli {

// The file layer's SafeFile (see fileio/SafeFile.h) as -o uses it: an
// interruption (Ctrl+C) ends the writing before the next bytes and before the
// file is put in place, so that the old file stays.
class SafeFile final : public ByteOutput {
public:
    // Throws EFCreateError when the file could not be replaced.
    explicit SafeFile(const std::string& path, const fileio::FileSystemCalls& calls = fileio::RealFileSystemCalls());

    // Throws EWriteError or EInterrupted.
    void Write(std::string_view bytes) override;
    // For a library that opens a file by name itself; see fileio::SafeFile.
    std::string PathForWriting() { return file_.PathForWriting(); }
    // Throws EWriteError, EFCreateError or EInterrupted.
    void Commit();

private:
    fileio::SafeFile file_;
};

}  // namespace kestrino::cli
