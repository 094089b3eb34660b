// The version block of each program as Windows reads it: what Explorer's Properties and version tools show.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kestrino_version.h"

namespace {

struct Program {
    const wchar_t* file;
    const wchar_t* description;
};

const Program kPrograms[] = {
    {L"Kestrino.exe", L"Kestrino IMEI list builder"},
    {L"kestrino-cli.exe", L"Kestrino command line: IMEI lists and list checks"},
};

std::wstring Widen(const char* ascii) { return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii)); }

// The programs sit beside this test in the build's bin folder.
std::wstring BesideMe(const wchar_t* file) {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, static_cast<DWORD>(std::size(self)));
    std::wstring path(self, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + file;
}

std::vector<BYTE> ReadVersionInfo(const std::wstring& path) {
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    std::vector<BYTE> block(size);
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data())) block.clear();
    return block;
}

std::wstring StringValue(std::vector<BYTE>& block, const wchar_t* name) {
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    wchar_t* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&text), &length) || !text) return L"<none>";
    return std::wstring(text, wcsnlen(text, length));
}

class VersionInfoTest : public testing::TestWithParam<Program> {};

TEST_P(VersionInfoTest, NumbersAndStrings) {
    const Program& program = GetParam();
    std::vector<BYTE> block = ReadVersionInfo(BesideMe(program.file));
    ASSERT_FALSE(block.empty()) << "no version block, error " << GetLastError();

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, VS_FFI_SIGNATURE);
    const DWORD ms = MAKELONG(KESTRINO_VERSION_MINOR, KESTRINO_VERSION_MAJOR);
    const DWORD ls = MAKELONG(KESTRINO_VERSION_TWEAK, KESTRINO_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, ms);
    EXPECT_EQ(fixed->dwFileVersionLS, ls);
    EXPECT_EQ(fixed->dwProductVersionMS, ms);
    EXPECT_EQ(fixed->dwProductVersionLS, ls);
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    const std::wstring version = Widen(KESTRINO_VERSION_TEXT);
    EXPECT_EQ(version, L"1.0.0.0");
    EXPECT_EQ(StringValue(block, L"FileVersion"), version);
    EXPECT_EQ(StringValue(block, L"ProductVersion"), version);
    EXPECT_EQ(StringValue(block, L"ProductName"), L"Kestrino");
    EXPECT_EQ(StringValue(block, L"FileDescription"), program.description);
    EXPECT_EQ(StringValue(block, L"OriginalFilename"), program.file);
    EXPECT_EQ(StringValue(block, L"InternalName"), program.file);
    EXPECT_EQ(StringValue(block, L"CompanyName"), L"The Kestrino developers");
    EXPECT_EQ(StringValue(block, L"LegalCopyright"), L"\u00A9 2026 The Kestrino developers");
}

INSTANTIATE_TEST_SUITE_P(Programs, VersionInfoTest, testing::ValuesIn(kPrograms),
                         [](const testing::TestParamInfo<Program>& row) {
                             std::string name;
                             for (const wchar_t* c = row.param.file; *c && *c != L'.'; ++c)
                                 name += iswalnum(*c) ? static_cast<char>(*c) : '_';
                             return name;
                         });

}  // namespace
