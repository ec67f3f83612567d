#include "platform/UserFolders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

/// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name(name) {
        if (const char* old = std::getenv(name))
            previous = old, hadValue = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (hadValue)
            setenv(name, previous.c_str(), 1);
        else
            unsetenv(name);
    }

private:
    const char* name;
    std::string previous;
    bool hadValue = false;
};

} // namespace

TEST(UserFolders, XdgVariablesDecideWhereUserFilesGo) {
    const fs::path base = fs::path(testing::TempDir()) / "xdg-test";
    fs::remove_all(base);
    const ScopedEnv home("HOME", (base / "home").string());
    const ScopedEnv data("XDG_DATA_HOME", (base / "data").string());
    const ScopedEnv state("XDG_STATE_HOME", (base / "state").string());
    const ScopedEnv config("XDG_CONFIG_HOME", (base / "config").string());

    EXPECT_EQ(Kiln::userDataFolder(), (base / "data" / "Morvel").string());
    EXPECT_TRUE(fs::is_directory(base / "data" / "Morvel"));
    EXPECT_EQ(Kiln::userStateFolder(), (base / "state" / "Morvel").string());
    EXPECT_EQ(Kiln::documentsFolder(), (base / "home" / "Documents").string());

    fs::create_directories(base / "config");
    std::ofstream(base / "config" / "user-dirs.dirs")
        << "# written by xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n";
    EXPECT_EQ(Kiln::documentsFolder(), (base / "home" / "Dokumente").string());
    {
        // A relative XDG value is invalid and ignored.
        const ScopedEnv relative("XDG_DATA_HOME", "relative/path");
        EXPECT_EQ(Kiln::userDataFolder(), (base / "home" / ".local/share/Morvel").string());
    }
    fs::remove_all(base);
}

TEST(UserFolders, DataDirectoryFindsTheShippedSettings) {
    EXPECT_TRUE(fs::exists(fs::path(Kiln::dataDirectory()) / "Config" / "Settings.xml"));
    const ScopedEnv chosen("MORVEL_DATA_DIR", "/somewhere/else");
    EXPECT_EQ(Kiln::dataDirectory(), "/somewhere/else");
}
