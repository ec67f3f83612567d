#include "config/ConfigReader.h"
#include "log/Exception.h"

#include <gtest/gtest.h>

using Kiln::ConfigReader;
using Kiln::SimpleXMLKeyValueStore;

namespace {

ConfigReader readerFor(const std::string& xml) {
    return ConfigReader(std::make_unique<SimpleXMLKeyValueStore>(SimpleXMLKeyValueStore::fromText(xml)));
}

} // namespace

TEST(ConfigReader, MissingKeysTakeTheDefaultAndPresentOnesAreConverted) {
    ConfigReader reader = readerFor(R"(<C>
        <Camera Position="1 2 3" NearClipDistance="0.5" Name="Cam"/>
        <Gpu MaxQueuedFrames="3"/>
        <Background Color="0.1 0.2"/>
        <Scene Ambient=""/>
      </C>)");
    EXPECT_EQ(reader.readString("Camera.Name", "x"), "Cam");
    EXPECT_EQ(reader.readString("Window.Title", "Brevant Demo"), "Brevant Demo");
    EXPECT_FLOAT_EQ(reader.readFloat("Camera.NearClipDistance", 1.0f), 0.5f);
    EXPECT_EQ(reader.readInt("Gpu.MaxQueuedFrames", 2), 3);
    EXPECT_EQ(reader.readInt("Gpu.Missing", 2), 2);
    EXPECT_EQ(reader.readVector3("Camera.Position", "0 5 75"), Ogre::Vector3(1, 2, 3));
    EXPECT_EQ(reader.readVector3("Haptic.DeviceDistance", "0.0 0.0 -50.0"), Ogre::Vector3(0, 0, -50));
    // Missing trailing colour components stay 1; an empty colour is white.
    EXPECT_EQ(reader.readColour("Background.Color", "0 0 0 0"), Ogre::ColourValue(0.1f, 0.2f, 1, 1));
    EXPECT_EQ(reader.readColour("Scene.Ambient", "0 0 0 0"), Ogre::ColourValue(1, 1, 1, 1));
    EXPECT_EQ(reader.readColour("Shadows.Color", "0.8 0.8 0.8 0.8"),
              Ogre::ColourValue(0.8f, 0.8f, 0.8f, 0.8f));
    EXPECT_EQ(reader.readColour("Other", Ogre::ColourValue(0, 0, 0, 0)), Ogre::ColourValue(0, 0, 0, 0));
}

TEST(ConfigReader, BooleansAcceptOnlyTheirWordListsAndThrowOtherwise) {
    for (const char* yes : {"true", "TRUE", "True", "yes", "YES", "Yes", "1"})
        EXPECT_TRUE(ConfigReader::parseBool(yes)) << yes;
    for (const char* no : {"false", "FALSE", "False", "no", "NO", "No", "0"})
        EXPECT_FALSE(ConfigReader::parseBool(no)) << no;
    for (const char* bad : {"on", "tRUE", "", "2", "yes "})
        EXPECT_THROW(ConfigReader::parseBool(bad), Kiln::Exception) << bad;

    ConfigReader reader = readerFor("<C><A Flag=\"maybe\" On=\"Yes\"/></C>");
    EXPECT_TRUE(reader.readBool("A.On", false));
    EXPECT_TRUE(reader.readBool("A.Absent", true));
    try {
        reader.readBool("A.Flag", false);
        FAIL();
    } catch (const Kiln::Exception& e) {
        EXPECT_EQ(e.getCode(), 3);
        EXPECT_EQ(e.getDescription(), "Invalid format for Boolean: 'maybe'");
        EXPECT_EQ(e.getSource(), "ConfigReader::_parseBool()");
    }
}

TEST(ConfigReader, SectionsPrefixKeysAndUnwindOneLevelAtATime) {
    ConfigReader reader = readerFor(R"(<C><Light1 Name="Key"/><Outer.Inner Value="7"/></C>)");
    {
        const auto light = reader.enterSection("Light1");
        EXPECT_EQ(reader.readString("Name", "anonymous_light"), "Key");
        EXPECT_EQ(reader.getPrefix(), "Light1.");
    }
    EXPECT_EQ(reader.getPrefix(), "");
    {
        const auto outer = reader.enterSection("Outer");
        {
            const auto inner = reader.enterSection("Inner");
            EXPECT_EQ(reader.getPrefix(), "Outer.Inner.");
            EXPECT_EQ(reader.readInt("Value", 0), 7);
        }
        EXPECT_EQ(reader.getPrefix(), "Outer.");
    }
    EXPECT_EQ(reader.getPrefix(), "");
    reader.leaveSection();  // more leaves than enters must not underflow
    EXPECT_EQ(reader.getPrefix(), "");
}
