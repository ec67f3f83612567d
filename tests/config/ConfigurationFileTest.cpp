#include "config/ConfigurationFile.h"
#include "log/Exception.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using Kiln::ConfigurationFile;
namespace fs = std::filesystem;

namespace {

class ConfigurationFileTest : public testing::Test {
protected:
    void SetUp() override {
        folder = fs::path(testing::TempDir()) / ("cfg-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        ConfigurationFile::setUserFolder(folder.string());
        ConfigurationFile::clear();
        setenv("MORVEL_DATA_DIR", MORVEL_SOURCE_DATA_DIR, 1);
    }
    void TearDown() override {
        unsetenv("MORVEL_DATA_DIR");
        ConfigurationFile::setUserFolder("");
        ConfigurationFile::clear();
        fs::remove_all(folder);
    }
    std::string readUserCopy() const {
        std::ifstream in(folder / "FunctionConfig.cfg");
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    fs::path folder;
};

} // namespace

TEST_F(ConfigurationFileTest, ShippedDefaultsLoadAndTheUserCopyOverridesAndExtends) {
    ConfigurationFile::load("FunctionConfig.cfg");
    EXPECT_EQ(ConfigurationFile::getInt("Functions.Undo.Size", 0), 50);
    EXPECT_TRUE(ConfigurationFile::getBool("View.Grid", false));
    EXPECT_EQ(ConfigurationFile::getVector2("FrameRate.Position.Relative", {}), Ogre::Vector2(0.125f, 0.125f));

    std::ofstream(folder / "FunctionConfig.cfg") << "[View]\nGrid = off\n[Extra]\nThing:42\n"
                                                 << "Tabbed\tvalue with blanks \n";
    ConfigurationFile::load("FunctionConfig.cfg");
    EXPECT_FALSE(ConfigurationFile::getBool("View.Grid", true));
    EXPECT_EQ(ConfigurationFile::getInt("Extra.Thing", 0), 42);
    EXPECT_EQ(ConfigurationFile::getString("Extra.Tabbed", ""), "value with blanks");
    // Other shipped keys survive the merge.
    EXPECT_EQ(ConfigurationFile::getInt("Autosave.Period", 0), 5);
    // Absent keys give the default and store nothing.
    EXPECT_EQ(ConfigurationFile::getString("Extra.Absent", "d"), "d");
    EXPECT_EQ(ConfigurationFile::table().at("Extra").count("Absent"), 0u);
}

TEST_F(ConfigurationFileTest, SaveWritesEverySectionAndReadsBackTheSame) {
    ConfigurationFile::load("FunctionConfig.cfg");
    ConfigurationFile::setBool("View.Shadows", true);
    ConfigurationFile::setString("RecentFile.Recent.1", "/home/u/a scene.cr8");
    ASSERT_TRUE(ConfigurationFile::save());
    const std::string saved = readUserCopy();
    EXPECT_NE(saved.find("[RecentFile]\nRecent.1 = /home/u/a scene.cr8\n"), std::string::npos);
    EXPECT_NE(saved.find("Shadows = true\n"), std::string::npos);

    const auto before = ConfigurationFile::table();
    ConfigurationFile::clear();
    ConfigurationFile::load("FunctionConfig.cfg");
    EXPECT_EQ(ConfigurationFile::table(), before);
}

TEST_F(ConfigurationFileTest, UnwritableUserCopyFailsWithoutHarm) {
    ConfigurationFile::load("FunctionConfig.cfg");
    ConfigurationFile::setUserFolder((folder / "missing" / "deeper").string());
    EXPECT_FALSE(ConfigurationFile::save());
}

TEST(ConfigurationFileParsing, KeysBooleansAndVectors) {
    EXPECT_EQ(ConfigurationFile::parseSetting("Functions.Undo.Size"),
              std::make_pair(std::string("Functions"), std::string("Undo.Size")));
    try {
        ConfigurationFile::parseSetting("NoDot");
        FAIL();
    } catch (const Kiln::Exception& e) {
        EXPECT_EQ(e.getDescription(), "Invalid setting string 'NoDot'");
    }
    EXPECT_THROW(ConfigurationFile::setString("NoDot", "x"), Kiln::Exception);

    for (const char* yes : {"true", "yes", "ON", "On", "YES"})
        EXPECT_TRUE(ConfigurationFile::parseBool(yes)) << yes;
    for (const char* no : {"false", "No", "off", "OFF"})
        EXPECT_FALSE(ConfigurationFile::parseBool(no)) << no;
    EXPECT_THROW(ConfigurationFile::parseBool("1"), Kiln::Exception);

    EXPECT_EQ(ConfigurationFile::parseVectorf("0.125  0.5", 2), (std::vector<float>{0.125f, 0.5f}));
    try {
        ConfigurationFile::parseVectorf("1 2 3", 2);
        FAIL();
    } catch (const Kiln::Exception& e) {
        EXPECT_EQ(e.getDescription(), "1 2 3 is not in the right format for a vector of 2-dimensions");
    }
    EXPECT_THROW(ConfigurationFile::parseVectorf("1 x", 2), Kiln::Exception);
}
