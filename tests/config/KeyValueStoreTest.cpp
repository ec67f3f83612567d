#include "config/KeyValueStore.h"
#include "log/Exception.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using Kiln::SimpleXMLKeyValueStore;

TEST(SimpleXMLKeyValueStore, AttributesAndElementTextGiveTheSameKeysAndTheLaterWins) {
    const auto store = SimpleXMLKeyValueStore::fromText(R"(
        <Config>
          <Window Title="first" UseDesktopResolution="false"/>
          <Window.Title>second</Window.Title>
          <Haptic><Haptic.StylusRadius>2.5</Haptic.StylusRadius></Haptic>
          <Application Resolution=""/>
        </Config>)");
    EXPECT_EQ(store["Window.Title"], "second");
    EXPECT_EQ(store["Window.UseDesktopResolution"], "false");
    // Nesting does not build longer keys.
    EXPECT_EQ(store["Haptic.StylusRadius"], "2.5");
    // Present but empty is not missing.
    EXPECT_EQ(store["Application.Resolution"], "");

    const auto reversed = SimpleXMLKeyValueStore::fromText(
        "<C><Window.Title>second</Window.Title><Window Title=\"first\"/></C>");
    EXPECT_EQ(reversed["Window.Title"], "first");
}

TEST(SimpleXMLKeyValueStore, MissingKeysAndBadFilesThrowTheUserFacingTexts) {
    const auto store = SimpleXMLKeyValueStore::fromText("<C><A b=\"1\"/></C>");
    try {
        store["A.c"];
        FAIL() << "a missing key must throw";
    } catch (const Kiln::Exception& e) {
        EXPECT_EQ(e.getCode(), 3);
        EXPECT_STREQ(e.what(), "KILN EXCEPTION(3:): \"A.c\" is not an available settings under "
                               "Config in SimpleXMLKeyValueStore::operator[]");
    }

    const std::string broken = testing::TempDir() + "broken-settings.xml";
    std::ofstream(broken) << "<Config><Window Title=\"x\"></Config";
    try {
        SimpleXMLKeyValueStore{broken};
        FAIL() << "a malformed file must throw";
    } catch (const Kiln::Exception& e) {
        EXPECT_EQ(e.getCode(), 7);
        EXPECT_EQ(e.getDescription(), "Failed to load settings file " + broken);
        EXPECT_EQ(e.getSource(), "SimpleXMLKeyValueStore::SettingsFile");
    }
    std::remove(broken.c_str());

    EXPECT_THROW(SimpleXMLKeyValueStore("no-such-file.xml"), Kiln::Exception);
    EXPECT_NO_THROW(SimpleXMLKeyValueStore(""));
}

TEST(SimpleXMLKeyValueStore, RelativeNamesFallBackToTheDataFolder) {
    const SimpleXMLKeyValueStore store("Config/Settings.xml", MORVEL_SOURCE_DATA_DIR);
    EXPECT_EQ(store["Window.Title"], "Brevant Demo");
    EXPECT_EQ(store["Camera.Position"], "0 5 75");
}
