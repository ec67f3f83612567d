#include "platform/Files.h"
#include "log/Exception.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {
std::string readAll(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
} // namespace

TEST(Files, WorkingDirectoryChangesOnlyToRealDirectories) {
    const fs::path before = fs::current_path();
    const fs::path folder = fs::path(testing::TempDir()) / "cwd-test";
    fs::create_directories(folder);
    const fs::path file = folder / "plain.txt";
    std::ofstream(file) << "x";

    EXPECT_THROW(Kiln::SetCurrentWorkingDirectory(file.string()), Kiln::Exception);
    try {
        Kiln::SetCurrentWorkingDirectory("/no/such/folder");
        FAIL();
    } catch (const Kiln::Exception& e) {
        EXPECT_EQ(e.getDescription(), "'/no/such/folder' is not a valid directory...");
        EXPECT_EQ(e.getSource(), "Kiln::SetCurrentWorkingDirectory()");
    }
    EXPECT_EQ(fs::current_path(), before);
    Kiln::SetCurrentWorkingDirectory(folder.string());
    EXPECT_EQ(fs::current_path(), fs::canonical(folder));
    fs::current_path(before);
    fs::remove_all(folder);
}

TEST(Files, LaunchFileReportsMissingFilesAndFolders) {
    try {
        Kiln::LaunchFile("/no/such/folder", "a.txt");
        FAIL();
    } catch (const Kiln::Exception& e) {
        EXPECT_EQ(e.getCode(), 7);
        EXPECT_EQ(e.getDescription(), "The path '/no/such/folder' could not be found...");
    }
    try {
        Kiln::LaunchFile(testing::TempDir(), "missing-file.txt");
        FAIL();
    } catch (const Kiln::Exception& e) {
        EXPECT_NE(e.getDescription().find("could not be found..."), std::string::npos);
        EXPECT_EQ(e.getSource(), "Kiln::LaunchFile()");
    }
}

TEST(Files, AtomicWritesReplaceWholeFilesAndFailuresKeepTheOldOne) {
    const fs::path folder = fs::path(testing::TempDir()) / "atomic-test";
    fs::create_directories(folder);
    const fs::path target = folder / "scene.txt";
    ASSERT_TRUE(Kiln::writeFileAtomically(target.string(), "first"));
    ASSERT_TRUE(Kiln::writeFileAtomically(target.string(), "second version"));
    EXPECT_EQ(readAll(target), "second version");

    // A folder in the way of the rename: the write fails, the old file stays.
    EXPECT_FALSE(Kiln::writeFileAtomically((folder / "missing" / "x.txt").string(), "data"));
    fs::create_directories(folder / "dir.txt" / "inside");
    EXPECT_FALSE(Kiln::writeFileAtomically((folder / "dir.txt").string(), "data"));
    EXPECT_TRUE(fs::is_directory(folder / "dir.txt" / "inside"));
    EXPECT_EQ(readAll(target), "second version");
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos)
            << "temporary file left behind: " << entry.path();
    fs::remove_all(folder);
}
