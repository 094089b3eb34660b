#pragma once

// Starts the real kestrino-cli as a user's shell would: its arguments, a file
// as standard input, files for standard output and error, a working folder;
// then hands back the bytes and the exit code.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestrino::cli::test {

// What a command line prints and returns: platform-style line ends on
// messages ("\r\n" on Windows).
#ifdef _WIN32
inline constexpr std::string_view kNl = "\r\n";
#else
inline constexpr std::string_view kNl = "\n";
#endif

struct Outcome {
    std::string out;
    std::string err;
    int code = -1;
};

// Runs kestrino-cli with args in folder (the current one when empty), input as standard input.
Outcome RunCli(const std::vector<std::string>& args, std::string_view input = {}, const std::filesystem::path& folder = {});

#ifndef _WIN32
// A started kestrino-cli, for tests that act while it runs.
class RunningCli {
public:
    RunningCli(const std::vector<std::string>& args, const std::filesystem::path& folder);
    ~RunningCli();
    // Sends what Ctrl+C sends: SIGINT.
    void Interrupt();
    // Waits for the end, 20 seconds at most; returns the outcome.
    Outcome Wait();

private:
    std::filesystem::path scratch_;
    long long process_ = 0;
    bool waited_ = false;
};
#endif

// A fresh, empty folder, removed with its contents at the end of the test.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::string ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, std::string_view bytes);
// Names in a folder, sorted.
std::vector<std::string> NamesIn(const std::filesystem::path& folder);

}  // namespace kestrino::cli::test
