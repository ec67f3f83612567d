#include "graphics/GraphicsManager.h"

#include <gtest/gtest.h>

TEST(GraphicsTexts, ScreenshotPathsKeepKnownExtensionsOnly) {
    EXPECT_EQ(Kiln::screenshotPathFor("/tmp/shot.png", "bmp"), "/tmp/shot.png");
    EXPECT_EQ(Kiln::screenshotPathFor("/tmp/shot.JpG", "bmp"), "/tmp/shot.JpG");
    EXPECT_EQ(Kiln::screenshotPathFor("/tmp/shot", "bmp"), "/tmp/shot.bmp");
    EXPECT_EQ(Kiln::screenshotPathFor("/tmp/shot.xyz", "png"), "/tmp/shot.xyz.png");
    EXPECT_EQ(Kiln::screenshotPathFor("/tmp/a.jpeg", "png"), "/tmp/a.jpeg.png");
}

TEST(GraphicsTexts, RenderApiAndResolutionParsing) {
    EXPECT_EQ(Kiln::renderApiFromName("OpenGL Rendering Subsystem"), Kiln::RENDER_API_OPENGL);
    EXPECT_EQ(Kiln::renderApiFromName("OSVR OpenGL Rendering Subsystem"), Kiln::RENDER_API_OSVR_OPENGL);
    EXPECT_EQ(Kiln::renderApiFromName("Direct3D9 Rendering Subsystem"), Kiln::RENDER_API_DIRECT3D9);
    EXPECT_EQ(Kiln::renderApiFromName("Vulkan Rendering Subsystem"), Kiln::RENDER_API_OTHER);

    unsigned w = 0, h = 0;
    Kiln::parseResolution("1024x768", w, h);
    EXPECT_EQ(w, 1024u);
    EXPECT_EQ(h, 768u);
    Kiln::parseResolution("800 x 600 @ 32-bit colour", w, h);
    EXPECT_EQ(w, 800u);
    EXPECT_EQ(h, 600u);
    for (const char* bad : {"", "1024", "x768", "0x0", "1024x", "abcx12"})
        EXPECT_THROW(Kiln::parseResolution(bad, w, h), Kiln::Exception) << bad;
}
