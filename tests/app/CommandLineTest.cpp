#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using Kiln::CommandLineOptions;

namespace {
CommandLineOptions interpret(const std::string& line) {
    CommandLineOptions options;
    Kiln::interpretArguments(Kiln::splitCommandLine(line), options);
    return options;
}
} // namespace

TEST(CommandLine, EmptyLineKeepsTheDefaults) {
    const CommandLineOptions options = interpret("");
    EXPECT_FALSE(options.showFrameCount);
    EXPECT_TRUE(options.showSplash);
    EXPECT_TRUE(options.crashReporterEnabled);
    EXPECT_FALSE(options.openFileOnStart);
    EXPECT_EQ(options.exitAfterFrames, 0);
    EXPECT_TRUE(Kiln::splitCommandLine("   ").empty());
}

TEST(CommandLine, SwitchesAndSceneFileRules) {
    CommandLineOptions options = interpret("-noSplashScreen  scene.cr8 -showFrameCount -disableCrashReporter");
    EXPECT_FALSE(options.showSplash);
    EXPECT_TRUE(options.showFrameCount);
    EXPECT_FALSE(options.crashReporterEnabled);
    EXPECT_TRUE(options.openFileOnStart);
    EXPECT_EQ(options.startFile, "scene.cr8");

    // Upper-case extensions are not scenes; the last scene argument wins.
    options = interpret("OLD.CR8 first.cr8 second.cr8 unknown -x");
    EXPECT_EQ(options.startFile, "second.cr8");
    EXPECT_FALSE(interpret("SCENE.CR8").openFileOnStart);
    EXPECT_FALSE(interpret(".cr").openFileOnStart);
    EXPECT_TRUE(interpret(".cr8").openFileOnStart);

    options = interpret("-exitAfterFrames=25 -screenshot=/tmp/a.png -exitAfterFrames=bad");
    EXPECT_EQ(options.exitAfterFrames, 0) << "a later bad count switches the limit off";
    EXPECT_EQ(options.screenshotPath, "/tmp/a.png");
    EXPECT_EQ(interpret("-exitAfterFrames=25").exitAfterFrames, 25);
}

TEST(CommandLine, QuotedPathsWithBlanksStayWhole) {
    EXPECT_EQ(Kiln::splitCommandLine("a \"/home/u/My Scene.cr8\" b"),
              (std::vector<std::string>{"a", "/home/u/My Scene.cr8", "b"}));
    EXPECT_EQ(interpret("\"/home/u/My Scene.cr8\"").startFile, "/home/u/My Scene.cr8");

    const char* argv[] = {"morvel", "-noSplashScreen", "/home/u/My Scene.cr8"};
    const std::string joined = Kiln::joinArguments(3, argv);
    EXPECT_EQ(joined, "-noSplashScreen \"/home/u/My Scene.cr8\"");
    EXPECT_EQ(interpret(joined).startFile, "/home/u/My Scene.cr8");
}

TEST(CommandLine, UninstallDeletesOnlyLogAndInfoFiles) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(testing::TempDir()) / "uninstall test";
    fs::create_directories(folder / "sub");
    for (const char* name : {"a.log", "b.info", "keep.cr8", "keep.log.txt", "sub/c.log"})
        std::ofstream(folder / name) << "x";

    const std::string line = "/Uninstall \"" + folder.string() + "\"";
    EXPECT_EQ(Kiln::uninstallDirectory(line), folder.string());
    EXPECT_EQ(Kiln::uninstallDirectory("-noSplashScreen"), "");
    EXPECT_EQ(Kiln::deleteLogAndInfoFiles(Kiln::uninstallDirectory(line)), 2);
    EXPECT_FALSE(fs::exists(folder / "a.log"));
    EXPECT_FALSE(fs::exists(folder / "b.info"));
    EXPECT_TRUE(fs::exists(folder / "keep.cr8"));
    EXPECT_TRUE(fs::exists(folder / "keep.log.txt"));
    EXPECT_TRUE(fs::exists(folder / "sub" / "c.log"));
    EXPECT_EQ(Kiln::deleteLogAndInfoFiles("/no/such/folder"), 0);
    fs::remove_all(folder);
}
