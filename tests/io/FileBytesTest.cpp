#include "io/FileBytes.h"

#include "IoTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Kiln;
using namespace iotest;
namespace fs = std::filesystem;

namespace {

const char* const kWhere = "test";

std::size_t entriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

void write(const std::string& path, const std::string& bytes) {
    writeFileAtomically(path, bytes, kWhere, "Failed to open file '" + path + "'");
}

} // namespace

TEST(FileBytes, WritingThroughALinkReplacesItsTargetAndKeepsTheLink) {
    ScratchFolder scratch;
    fs::create_directories(scratch.path / "real");
    writeText(scratch.file("real/model.stl"), "old");
    ::chmod(scratch.file("real/model.stl").c_str(), 0640);
    fs::create_symlink("real/model.stl", scratch.path / "hop");
    fs::create_symlink("hop", scratch.path / "link.stl");  // a chain of two
    write(scratch.file("link.stl"), "new");
    EXPECT_TRUE(fs::is_symlink(scratch.path / "link.stl"));
    EXPECT_EQ("new", readText(scratch.file("real/model.stl")));
    EXPECT_EQ(fs::perms(0640), fs::status(scratch.path / "real/model.stl").permissions() & fs::perms::mask);
    // A dangling link makes its target; no temporary is left anywhere.
    fs::create_symlink("real/fresh.stl", scratch.path / "dangling.stl");
    write(scratch.file("dangling.stl"), "made");
    EXPECT_EQ("made", readText(scratch.file("real/fresh.stl")));
    EXPECT_EQ(2u, entriesIn(scratch.path / "real"));
    EXPECT_EQ(4u, entriesIn(scratch.path));
}

TEST(FileBytes, FoldersDevicesAndLinkLoopsAreRefusedWithTheirReason) {
    ScratchFolder scratch;
    fs::create_directories(scratch.path / "folder.stl");
    fs::create_symlink("/dev/null", scratch.path / "null.stl");
    fs::create_symlink("b.stl", scratch.path / "a.stl");
    fs::create_symlink("a.stl", scratch.path / "b.stl");
    const auto reason = [&](const std::string& name) {
        return messageOf([&] { write(scratch.file(name), "x"); });
    };
    EXPECT_NE(reason("folder.stl").find("it is a folder"), std::string::npos);
    EXPECT_NE(reason("null.stl").find("not a regular file"), std::string::npos);
    EXPECT_NE(reason("a.stl").find("Too many levels of symbolic links"), std::string::npos);
    // The system's reason, not a bare "cannot open".
    EXPECT_EQ("Failed to open file '" + scratch.file("missing/x.stl") + "': No such file or directory",
              reason("missing/x.stl"));
    EXPECT_TRUE(fs::is_symlink(scratch.path / "null.stl"));
    EXPECT_EQ(4u, entriesIn(scratch.path));  // nothing left behind
}

TEST(FileBytes, TemporaryNamesAreShortUniqueAndGoneUnlessCommitted) {
    ScratchFolder scratch;
    // A long target name must not make the temporary's name too long.
    const std::string target = scratch.file(std::string(250, 'n') + ".stl");
    write(target, "long");
    EXPECT_EQ("long", readText(target));
    std::string first;
    {
        OutputTemporary a(target, ".png", kWhere, "a"), b(target, ".png", kWhere, "b");
        first = a.getPath();
        EXPECT_NE(a.getPath(), b.getPath());
        EXPECT_EQ(".png", a.getPath().substr(a.getPath().size() - 4));
        EXPECT_EQ(scratch.path, fs::path(a.getPath()).parent_path());
        EXPECT_TRUE(fs::exists(first));
    }
    EXPECT_FALSE(fs::exists(first));
    EXPECT_EQ(1u, entriesIn(scratch.path));
}
