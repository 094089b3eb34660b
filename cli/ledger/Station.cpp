#include "cli/ledger/Station.h"

#include <chrono>
#include <cstdlib>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#include "cli/SystemIo.h"
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace kestrino::cli::ledger {

#ifdef _WIN32
std::string StationUser() {
    wchar_t name[256];
    DWORD size = 256;
    if (GetUserNameW(name, &size) && size > 0) return Utf8FromWide(std::wstring_view(name, size - 1));
    return "unknown";
}

std::string StationHost() {
    wchar_t name[256];
    DWORD size = 256;
    if (GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return Utf8FromWide(std::wstring_view(name, size));
    return "unknown";
}
#else
std::string StationUser() {
    if (const passwd* entry = ::getpwuid(::geteuid())) return entry->pw_name;
    if (const char* user = std::getenv("USER")) return user;
    return "unknown";
}

std::string StationHost() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0 && name[0]) return name;
    return "unknown";
}
#endif

std::string UtcNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

}  // namespace kestrino::cli::ledger
