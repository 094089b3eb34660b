#pragma once

// The program's few contacts with the system's standard streams and files,
// on POSIX and on Windows. Names and texts are UTF-8 byte strings.

#include "fileio/ByteOutput.h"
#include "fileio/SystemText.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrino::cli {

// The line end of messages, reports and `last`: what the platform's own tools write.
#ifdef _WIN32
inline constexpr std::string_view kNewline = "\r\n";
#else
inline constexpr std::string_view kNewline = "\n";
#endif

// Receiver of output bytes. Write throws an EStreamError or EInterrupted when
// the bytes cannot all be written.
using fileio::ByteOutput;

// Standard output without buffering of its own: each Write reaches the system.
// A failure throws EWriteError "Cannot write to standard output. <reason>".
class StandardOutput final : public ByteOutput {
public:
    void Write(std::string_view bytes) override;
};

// Writes to standard error; a failure there has nowhere to be reported.
void WriteStandardError(std::string_view text);

// Interactive terminals (consoles on Windows), where a progress line belongs.
bool StandardErrorIsTerminal();
bool StandardOutputIsTerminal();

// Standard input and output pass every byte unchanged (no CR LF translation).
void UseBinaryStandardStreams();

// The system's text for an errno value, without trailing blanks and periods.
using fileio::ErrnoText;

// Bytes of a regular file; 0 for anything else or when it cannot be seen.
std::uint64_t RegularFileSize(const std::string& name);

// A list read in blocks: a named file, or standard input for "-".
class InputFile {
public:
    // Throws EReadError with the system's reason when the file cannot be opened.
    explicit InputFile(const std::string& name);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Up to size bytes, 0 at the end. Throws EReadError (a folder, an I/O error).
    std::size_t Read(char* buffer, std::size_t size);
    // Bytes of a regular file; 0 for standard input, pipes and devices.
    std::uint64_t Size() const { return size_; }

private:
    std::string name_;
    int fd_ = -1;
    bool owned_ = false;
    std::uint64_t size_ = 0;
};

#ifdef _WIN32
using fileio::Utf8FromWide;
using fileio::WideFromUtf8;
#endif

}  // namespace kestrino::cli
