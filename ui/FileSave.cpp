#include "ui/FileSave.h"

#include <cstdio>

#include "fileio/SafeFile.h"
#include "fileio/SystemText.h"
#include "ui/WinText.h"

namespace kestrino {
namespace {

// The layer's UTF-8 messages in the window's code page.
std::string Ansi(const std::string& utf8) { return WideToAnsi(fileio::WideFromUtf8(utf8)); }

}  // namespace

void SaveBytesToFile(std::wstring_view path, std::string_view bytes, const fileio::FileSystemCalls& calls) {
    try {
        fileio::SafeFile file(fileio::Utf8FromWide(path), calls);
        file.Write(bytes);
        file.Commit();
    } catch (const EWriteError&) {
        throw EWriteError();
    } catch (const EFCreateError& e) {
        throw EFCreateError(Ansi(e.Message()));
    }
}

void SaveTextToFile(std::wstring_view path, std::wstring_view text, const fileio::FileSystemCalls& calls) {
    const std::optional<std::string> bytes = WideToAnsiExactly(text);
    if (bytes) return SaveBytesToFile(path, *bytes, calls);

    constexpr std::size_t kNamed = 10;
    const std::vector<char32_t> lost = CharactersNotInCodePage(text, kNamed + 1);
    std::string which;
    for (std::size_t i = 0; i < lost.size() && i < kNamed; ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "%sU+%04X", i ? ", " : "", static_cast<unsigned>(lost[i]));
        which += code;
    }
    if (lost.size() > kNamed) which += " and others";
    throw EFCreateError("Cannot create file \"" + WideToAnsi(path) + "\". Code page " + std::to_string(GetACP()) +
                        " cannot hold these characters of the text: " + which);
}

}  // namespace kestrino
