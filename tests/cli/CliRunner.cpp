#include "tests/cli/CliRunner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kestrino::cli::test {
namespace fs = std::filesystem;

namespace {

fs::path NewScratch() {
    static std::atomic<int> counter{0};
#ifdef _WIN32
    const auto id = static_cast<long long>(GetCurrentProcessId());
#else
    const auto id = static_cast<long long>(::getpid());
#endif
    for (;;) {
        fs::path p = fs::temp_directory_path() / ("kestrino-cli-test-" + std::to_string(id) + "-" + std::to_string(++counter));
        if (fs::create_directory(p)) return p;
    }
}

#ifdef _WIN32
fs::path CliPath() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(std::wstring(path, n)).parent_path() / L"kestrino-cli.exe";
}

// One argument as the C runtime's parser reads it back.
std::wstring Quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(2 * slashes, L'\\');
    return out + L"\"";
}

HANDLE Inheritable(const fs::path& file, bool write) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileW(file.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

long long Start(const std::vector<std::string>& args, const fs::path& scratch, const fs::path& folder) {
    std::wstring command = Quoted(CliPath().wstring());
    for (const std::string& arg : args) {
        const int n = MultiByteToWideChar(CP_UTF8, 0, arg.data(), static_cast<int>(arg.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, arg.data(), static_cast<int>(arg.size()), wide.data(), n);
        command += L" " + Quoted(wide);
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = Inheritable(scratch / "in", false);
    si.hStdOutput = Inheritable(scratch / "out", true);
    si.hStdError = Inheritable(scratch / "err", true);
    PROCESS_INFORMATION pi{};
    const std::wstring dir = folder.empty() ? std::wstring() : folder.wstring();
    const BOOL ok = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                   dir.empty() ? nullptr : dir.c_str(), &si, &pi);
    CloseHandle(si.hStdInput);
    CloseHandle(si.hStdOutput);
    CloseHandle(si.hStdError);
    if (!ok) throw std::runtime_error("CreateProcessW failed: " + std::to_string(GetLastError()));
    CloseHandle(pi.hThread);
    return reinterpret_cast<long long>(pi.hProcess);
}

int Finish(long long process) {
    const HANDLE handle = reinterpret_cast<HANDLE>(process);
    if (WaitForSingleObject(handle, 120000) != WAIT_OBJECT_0) TerminateProcess(handle, 99);
    DWORD code = 0;
    GetExitCodeProcess(handle, &code);
    CloseHandle(handle);
    return static_cast<int>(code);
}
#else
long long Start(const std::vector<std::string>& args, const fs::path& scratch, const fs::path& folder) {
    std::vector<std::string> all{KESTRINO_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string in = (scratch / "in").string(), out = (scratch / "out").string(), err = (scratch / "err").string();
    const std::string dir = folder.string();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int fds[3] = {::open(in.c_str(), O_RDONLY), ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                            ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
        for (int i = 0; i < 3; ++i) {
            if (fds[i] < 0 || ::dup2(fds[i], i) < 0) ::_exit(97);
        }
        if (!dir.empty() && ::chdir(dir.c_str()) != 0) ::_exit(97);
        ::execv(argv[0], argv.data());
        ::_exit(98);
    }
    return pid;
}

int Finish(long long process) {
    int status = 0;
    ::waitpid(static_cast<pid_t>(process), &status, 0);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}
#endif

}  // namespace

#ifndef _WIN32
RunningCli::RunningCli(const std::vector<std::string>& args, const fs::path& folder) : scratch_(NewScratch()) {
    WriteBytes(scratch_ / "in", "");
    process_ = Start(args, scratch_, folder);
}

RunningCli::~RunningCli() {
    if (!waited_) {
        ::kill(static_cast<pid_t>(process_), SIGKILL);
        Finish(process_);
    }
    std::error_code ignored;
    fs::remove_all(scratch_, ignored);
}

void RunningCli::Interrupt() { ::kill(static_cast<pid_t>(process_), SIGINT); }

Outcome RunningCli::Wait() {
    // Ended by force after 20 seconds: a run that ignored the interruption
    // would go on to fill the disk.
    const auto pid = static_cast<pid_t>(process_);
    for (int i = 0; i < 2000; ++i) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);  // a no-op for a process that has ended and waits to be reaped
    Outcome outcome;
    outcome.code = Finish(process_);
    waited_ = true;
    outcome.out = ReadBytes(scratch_ / "out");
    outcome.err = ReadBytes(scratch_ / "err");
    return outcome;
}
#endif

Outcome RunCli(const std::vector<std::string>& args, std::string_view input, const fs::path& folder) {
    const fs::path scratch = NewScratch();
    WriteBytes(scratch / "in", input);
    Outcome outcome;
    outcome.code = Finish(Start(args, scratch, folder));
    outcome.out = ReadBytes(scratch / "out");
    outcome.err = ReadBytes(scratch / "err");
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    return outcome;
}

ScratchFolder::ScratchFolder() : path_(NewScratch()) {}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> NamesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace kestrino::cli::test
