#include "log/DebugChannel.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

using Kiln::DebugChannel;

TEST(DebugChannel, EnablingFollowsTheDebugWords) {
    std::ostringstream out;
    DebugChannel::resetColourRotation();
    EXPECT_FALSE(DebugChannel("ConfigReader", out, nullptr).isEnabled());
    EXPECT_FALSE(DebugChannel("ConfigReader", out, "").isEnabled());
    EXPECT_TRUE(DebugChannel("ConfigReader", out, "*").isEnabled());
    EXPECT_TRUE(DebugChannel("ConfigReader", out, "CONFIGREADER GRAPHICSMANAGER").isEnabled());
    EXPECT_TRUE(DebugChannel("GraphicsManager", out, "CONFIGREADER GRAPHICSMANAGER").isEnabled());
    // Words are compared with the upper-case name exactly.
    EXPECT_FALSE(DebugChannel("ConfigReader", out, "configreader").isEnabled());
    EXPECT_FALSE(DebugChannel("ConfigReader", out, "CONFIG").isEnabled());
    EXPECT_NE(out.str().find("Enable debug messages from 'CONFIGREADER'\n"), std::string::npos);
    EXPECT_NE(out.str().find("Disable debug messages from 'CONFIGREADER'\n"), std::string::npos);
}

TEST(DebugChannel, UnsetDebugPrintsNothingAtAll) {
    std::ostringstream out;
    DebugChannel("Reduction", out, nullptr) << "not shown" << Kiln::endl;
    DebugChannel("Reduction", out, "") << "not shown" << Kiln::endl;
    EXPECT_EQ(out.str(), "");
}

TEST(DebugChannel, ColoursRotateInCreationOrderOverSixEntries) {
    std::ostringstream out;
    DebugChannel::resetColourRotation();
    const char* expected[] = {"\x1b[31m", "\x1b[32m", "\x1b[33m", "\x1b[34m",
                              "\x1b[35m", "\x1b[36m", "\x1b[31m"};
    for (const char* colour : expected) {
        DebugChannel disabled("Quiet", out, "LOUD");  // takes no colour
        DebugChannel channel("Loud", out, "LOUD");
        EXPECT_EQ(channel.getColour(), colour);
    }
}

TEST(DebugChannel, LinesCarryThePrefixAndDisabledChannelsStaySilent) {
    std::ostringstream out;
    DebugChannel channel("MeshGraph", out, "*");
    out.str("");
    channel << "building graph from " << 3 << " vertices" << Kiln::endl;
    channel << "done building" << Kiln::endl;
    const std::regex line("\x1b\\[3[1-6]mMeshGraph\x1b\\[0m \\(\\+[0-9]+ms\\): ([a-z0-9 ]+)\n");
    const std::string text = out.str();
    auto it = std::sregex_iterator(text.begin(), text.end(), line);
    ASSERT_NE(it, std::sregex_iterator());
    EXPECT_EQ((*it)[1], "building graph from 3 vertices");
    ++it;
    ASSERT_NE(it, std::sregex_iterator());
    EXPECT_EQ((*it)[1], "done building");

    std::ostringstream quietOut;
    DebugChannel quiet("MeshGraph", quietOut, nullptr);
    quietOut.str("");
    quiet << "ignored" << 5 << Kiln::endl;
    EXPECT_EQ(quietOut.str(), "");
}
