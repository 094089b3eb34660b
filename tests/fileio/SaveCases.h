#pragma once
// The targets a save can meet, as one table for both programs: the window's
// Save (tests/ui/FileSaveTest.cpp) and kestrino-cli's -o
// (tests/cli/OutputFileTest.cpp) must treat each alike.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace kestrino::test::save {
namespace fs = std::filesystem;

inline const std::string kOldBytes = "old content\r\n";

enum class Before {
    kNoFile,         // list.txt does not exist
    kFile,           // list.txt holds the old bytes
    kRelativeLink,   // list.txt -> keep/data.txt, which holds the old bytes
    kAbsoluteLink,   // likewise, by its full path
    kFolder,         // list.txt is a folder
    kLinkToFolder,   // list.txt -> keep, a folder
    kMissingFolder,  // the path is nowhere/list.txt
};

struct Case {
    const char* what;
    Before before;
    bool saved;
    const char* reason;  // how a refusal ends, after "Cannot create file "<path>". "; "" for any reason
};

inline const Case kCases[] = {
    // Saved: the chosen name reads the new bytes.
    {"a new file", Before::kNoFile, true, ""},
    {"an existing file", Before::kFile, true, ""},
    // A link stays a link: the file it leads to is replaced.
    {"a relative link to a file in another folder", Before::kRelativeLink, true, ""},
    {"an absolute link", Before::kAbsoluteLink, true, ""},
    // Refused, and nothing changes.
    {"a folder", Before::kFolder, false, "Is a directory"},
    {"a link to a folder", Before::kLinkToFolder, false, "Is a directory"},
    {"a missing folder", Before::kMissingFolder, false, ""},
};

inline std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

#ifdef _WIN32
// The Unix path of a Windows path under Wine; "" elsewhere.
inline std::string UnixPath(const fs::path& path) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    char* name = toUnix(fs::absolute(path).c_str());
    if (!name) return {};
    std::string text = name;
    HeapFree(GetProcessHeap(), 0, name);
    return text;
}
#endif

#ifdef _WIN32
// Runs a Unix program under Wine (which starts it as it starts any program)
// and waits until done() says so: Wine's handle of such a process never signals.
template <class Done>
bool RunUnix(std::wstring command, const wchar_t* program, Done done) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 250 && !done(); ++i) Sleep(20);
    return done();
}
#endif

// A symbolic link as a user makes one. Under Wine, Windows' own call makes
// none: the system's ln does.
inline bool MakeLink(const fs::path& link, const std::string& target) {
#ifdef _WIN32
    const std::string unixLink = UnixPath(link);
    if (unixLink.empty()) {
        return CreateSymbolicLinkW(link.c_str(), fs::path(target).make_preferred().c_str(),
                                   SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0;
    }
    const std::wstring command =
        L"/bin/ln -s \"" + fs::path(target).wstring() + L"\" \"" + fs::path(unixLink).wstring() + L"\"";
    return RunUnix(command, L"Z:\\bin\\ln", [&] { return fs::exists(link); });
#else
    std::error_code error;
    fs::create_symlink(target, link, error);
    return !error;
#endif
}

// Removes a folder and what it holds; a link in it goes as a link, never
// through it (Wine's own calls cannot remove a link whose target has gone).
inline void Clean(const fs::path& folder) {
    std::error_code ignored;
#ifdef _WIN32
    const std::string unixFolder = UnixPath(folder);
    if (!unixFolder.empty() && fs::exists(folder)) {
        RunUnix(L"/bin/rm -rf \"" + fs::path(unixFolder).wstring() + L"\"", L"Z:\\bin\\rm",
                [&] { return !fs::exists(folder); });
    }
#endif
    fs::remove_all(folder, ignored);
}

// A full path to the target as a link holds it.
inline std::string LinkText(const fs::path& target) {
#ifdef _WIN32
    const std::string unix = UnixPath(target);
    return unix.empty() ? fs::absolute(target).string() : unix;
#else
    return fs::absolute(target).string();
#endif
}

// Lays out the folder afresh for a row; returns the path to save to.
inline fs::path Prepare(const fs::path& folder, Before before) {
    Clean(folder);
    fs::create_directories(folder);
    const fs::path list = folder / "list.txt";
    const fs::path keep = folder / "keep";
    switch (before) {
        case Before::kNoFile:
            break;
        case Before::kFile:
            WriteAll(list, kOldBytes);
            break;
        case Before::kRelativeLink:
            fs::create_directory(keep);
            WriteAll(keep / "data.txt", kOldBytes);
            MakeLink(list, "keep/data.txt");
            break;
        case Before::kAbsoluteLink:
            fs::create_directory(keep);
            WriteAll(keep / "data.txt", kOldBytes);
            MakeLink(list, LinkText(keep / "data.txt"));
            break;
        case Before::kFolder:
            fs::create_directory(list);
            break;
        case Before::kLinkToFolder:
            fs::create_directory(keep);
            MakeLink(list, "keep");
            break;
        case Before::kMissingFolder:
            return folder / "nowhere" / "list.txt";
    }
    return list;
}

// "" when the folder holds what the row says after the save, else what is wrong.
inline std::string CheckAfter(const fs::path& folder, const Case& row, std::string_view newBytes) {
    const fs::path list = folder / "list.txt";
    const fs::path keep = folder / "keep";
    const bool link = row.before == Before::kRelativeLink || row.before == Before::kAbsoluteLink;
    std::string wrong;
    auto expect = [&](bool ok, const std::string& what) {
        if (!ok) wrong += what + "; ";
    };
    if (link || row.before == Before::kLinkToFolder) {
        expect(fs::is_symlink(fs::symlink_status(list)) || fs::exists(keep), "the link is gone");
        expect(Names(folder) == std::vector<std::string>{"keep", "list.txt"}, "other names beside the link");
    }
    if (link) {
        const std::string expected = row.saved ? std::string(newBytes) : kOldBytes;
        expect(ReadAll(keep / "data.txt") == expected, "the link's target does not hold the " +
                                                             std::string(row.saved ? "new" : "old") + " bytes");
        expect(Names(keep) == std::vector<std::string>{"data.txt"}, "other names beside the link's target");
#ifndef _WIN32
        expect(fs::is_symlink(fs::symlink_status(list)), "the link became a file");
#endif
    }
    switch (row.before) {
        case Before::kNoFile:
        case Before::kFile:
            expect(ReadAll(list) == (row.saved ? std::string(newBytes) : kOldBytes), "list.txt holds the wrong bytes");
            expect(Names(folder) == std::vector<std::string>{"list.txt"}, "other names beside list.txt");
            break;
        case Before::kFolder:
            expect(fs::is_directory(list) && fs::is_empty(list), "the folder changed");
            expect(Names(folder) == std::vector<std::string>{"list.txt"}, "other names beside the folder");
            break;
        case Before::kLinkToFolder:
            expect(fs::is_empty(keep), "something was written into the folder");
            break;
        case Before::kMissingFolder:
            expect(Names(folder).empty(), "something was written");
            break;
        default:
            break;
    }
    return wrong;
}

}  // namespace kestrino::test::save
