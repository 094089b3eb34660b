#include "cli/SafeFile.h"

#include "cli/Interrupt.h"

namespace kestrino::cli {

SafeFile::SafeFile(const std::string& path, const fileio::FileSystemCalls& calls) : file_(path, calls) {}

void SafeFile::Write(std::string_view bytes) {
    ThrowIfInterrupted();
    file_.Write(bytes);
}

void SafeFile::Commit() {
    ThrowIfInterrupted();
    file_.Commit();
}

}  // namespace kestrino::cli
