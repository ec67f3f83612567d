// Thumbnails: a scene rendered to a file without the interactive program.
#include <gtest/gtest.h>

#include "SceneWindow.h"

#include "graphics/OffscreenRender.h"
#include "log/Exception.h"
#include "mesh/MeshEditor.h"
#include "scene/Object.h"

#include <OgreDataStream.h>
#include <OgreImage.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

/// Needs the engine's image codecs, which live as long as an engine does.
Ogre::Image loadPng(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    Ogre::Image image;
    image.load(Ogre::DataStreamPtr(new Ogre::FileStreamDataStream(&file, false)), "png");
    return image;
}

Kiln::OffscreenRenderOptions options(unsigned width, unsigned height) {
    Kiln::OffscreenRenderOptions o;
    o.width = width;
    o.height = height;
    o.dataDirectory = MORVEL_SOURCE_DATA_DIR;
    return o;
}

} // namespace

TEST(OffscreenRender, FramesTheWholeSceneAndLeavesTheTreeAsItWas) {
    Kiln::ObjectGroup root;
    root.setScale(Ogre::Vector3(0.2f));
    auto cube = std::make_unique<Kiln::Object>();
    cube->setMesh(Kiln::MeshEditor::createNewDynamicMesh(1, Ogre::ColourValue::Red));
    // Far from the origin: the camera has to find it.
    cube->setPosition(Ogre::Vector3(400, -300, 0));
    Kiln::Object* placed = root.adoptChild(std::move(cube));

    const std::string path = testing::TempDir() + "offscreen-thumbnail.png";
    std::filesystem::remove(path);
    Kiln::renderSceneToImage(root, path, options(160, 120));
    ASSERT_TRUE(std::filesystem::exists(path));
    const auto engine = testing_graphics::openSceneWindow();
    const Ogre::Image image = loadPng(path);
    EXPECT_EQ(image.getWidth(), 160u);
    EXPECT_EQ(image.getHeight(), 120u);
    const Ogre::ColourValue centre = image.getColourAt(80, 60, 0);
    EXPECT_GT(centre.r, 0.3f) << centre;
    EXPECT_LT(centre.g, 0.1f) << centre;
    const Ogre::ColourValue corner = image.getColourAt(1, 1, 0);
    EXPECT_NEAR(corner.r, 0.2, 0.02) << "the shipped background colour";
    EXPECT_NEAR(corner.b, 0.4, 0.02);
    // The cube fills a good part of the picture but not all of it.
    int red = 0;
    for (unsigned y = 0; y < 120; ++y)
        for (unsigned x = 0; x < 160; ++x) {
            const Ogre::ColourValue c = image.getColourAt(x, y, 0);
            red += (c.r > 0.3f && c.g < 0.1f) ? 1 : 0;
        }
    EXPECT_GT(red, 160 * 120 / 10);
    EXPECT_LT(red, 160 * 120);

    EXPECT_EQ(placed->getPresenter("graphics"), nullptr);
    EXPECT_EQ(root.getPresenter("graphics"), nullptr);
    std::filesystem::remove(path);
}

TEST(OffscreenRender, RefusesBadSizesAndMissingDisplaysAndKeepsTheOldFile) {
    Kiln::ObjectGroup root;
    const std::string path = testing::TempDir() + "offscreen-kept.png";
    { std::ofstream(path) << "old"; }
    EXPECT_THROW(Kiln::renderSceneToImage(root, path, options(0, 10)), Kiln::Exception);

    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    setenv("DISPLAY", ":9999", 1);
    try {
        Kiln::renderSceneToImage(root, path, options(32, 32));
        ADD_FAILURE() << "rendered without a display";
    } catch (const Kiln::Exception& e) {
        EXPECT_NE(std::string(e.what()).find("No X display"), std::string::npos) << e.what();
    }
    setenv("DISPLAY", saved.c_str(), 1);

    // An unwritable target fails and leaves nothing half-written behind.
    EXPECT_THROW(Kiln::renderSceneToImage(root, "/nonexistent-folder/x.png", options(32, 32)),
                 Kiln::Exception);
    std::ifstream kept(path);
    std::string text;
    kept >> text;
    EXPECT_EQ(text, "old");
    std::filesystem::remove(path);
}
