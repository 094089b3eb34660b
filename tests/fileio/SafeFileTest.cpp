// The file layer's writer handed to a library that opens a file by its name.
#include "fileio/FileErrors.h"
#include "fileio/SafeFile.h"
#include "tests/fileio/SaveCases.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrino::test {
namespace {
namespace fs = std::filesystem;

fs::path Scratch(const char* name) {
    const fs::path folder = fs::temp_directory_path() / name;
    save::Clean(folder);
    fs::create_directories(folder);
    return folder;
}

// As a library writes: its own fopen of the name it was handed.
void WriteAsALibrary(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    ASSERT_EQ(std::fclose(file), 0);
}

TEST(SafeFilePathForWriting, WhatTheLibraryWroteIsPlacedWholeAtCommitAndNothingWithout) {
    const fs::path folder = Scratch("kestrino-fileio-path");
    const fs::path target = folder / "list.xlsx";
    save::WriteAll(target, save::kOldBytes);
    const std::string bytes(100000, 'x');
    {
        fileio::SafeFile file(target.string());
        WriteAsALibrary(file.PathForWriting(), bytes);
        EXPECT_EQ(save::ReadAll(target), save::kOldBytes) << "nothing placed before Commit";
    }
    EXPECT_EQ(save::ReadAll(target), save::kOldBytes);
    EXPECT_EQ(save::Names(folder), std::vector<std::string>{"list.xlsx"});
    {
        fileio::SafeFile file(target.string());
        WriteAsALibrary(file.PathForWriting(), bytes);
        file.Commit();
    }
    EXPECT_EQ(save::ReadAll(target), bytes);
    EXPECT_EQ(save::Names(folder), std::vector<std::string>{"list.xlsx"});
    save::Clean(folder);
}

TEST(SafeFilePathForWriting, ADeviceHasNoPathToHandOn) {
#ifdef _WIN32
    fileio::SafeFile file("NUL");
#else
    fileio::SafeFile file("/dev/null");
#endif
    EXPECT_TRUE(file.Direct());
    EXPECT_EQ(file.PathForWriting(), "");
    file.Write("IMEI\r\n");
    file.Commit();
}

}  // namespace
}  // namespace kestrino::test
