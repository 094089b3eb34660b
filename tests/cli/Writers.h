#pragma once
// Finding the kestrino-cli that is writing into a folder, by the files it
// holds open (its temporary has no name to look for), on Linux.
#ifndef _WIN32
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include <unistd.h>

namespace kestrino::cli::test {

// The process holding a file open in folder, other than folder/except, with
// bytes in it already; 0 when none does within 20 seconds.
inline long WaitForWriter(const std::filesystem::path& folder, const std::string& except = "list.txt") {
    namespace fs = std::filesystem;
    const std::string prefix = fs::canonical(folder).string() + "/";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code error;
        for (const auto& process : fs::directory_iterator("/proc", error)) {
            const std::string pid = process.path().filename().string();
            if (pid.find_first_not_of("0123456789") != std::string::npos || std::stol(pid) == ::getpid()) continue;
            std::error_code none;
            for (const auto& fd : fs::directory_iterator(process.path() / "fd", none)) {
                std::error_code gone;
                const std::string target = fs::read_symlink(fd.path(), gone).string();
                if (gone || target.rfind(prefix, 0) != 0 || target == prefix + except) continue;
                if (fs::file_size(fd.path(), gone) > 0 && !gone) return std::stol(pid);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

}  // namespace kestrino::cli::test
#endif
