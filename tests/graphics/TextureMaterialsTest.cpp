// Image materials named by scene files, in a real engine (under Xvfb in CI).
#include "config/KeyValueStore.h"
#include "graphics/GraphicsManager.h"
#include "graphics/TextureMaterials.h"

#include <OgreImage.h>
#include <OgreMaterialManager.h>
#include <OgreTextureManager.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(EngineTextureMaterials, ImagesBecomeMaterialsAndTheirColoursCanBeSampled) {
    auto store = std::make_unique<Kiln::SimpleXMLKeyValueStore>(Kiln::SimpleXMLKeyValueStore::fromText(
        "<Config><Application Resolution=\"64x64\" Vsync=\"false\"/></Config>"));
    Kiln::GraphicsOptions options;
    options.dataDirectory = MORVEL_SOURCE_DATA_DIR;
    auto graphics = Kiln::GraphicsManager::create(std::move(store), options);

    const fs::path folder = fs::path(testing::TempDir()) / "texture-materials";
    fs::create_directories(folder);
    // A 2x2 image: red, green on top; blue, white below.
    Ogre::Image image(Ogre::PF_BYTE_RGBA, 2, 2);
    image.setColourAt(Ogre::ColourValue::Red, 0, 0, 0);
    image.setColourAt(Ogre::ColourValue::Green, 1, 0, 0);
    image.setColourAt(Ogre::ColourValue::Blue, 0, 1, 0);
    image.setColourAt(Ogre::ColourValue::White, 1, 1, 0);
    image.save((folder / "check.png").string());

    Kiln::EngineTextureMaterials textures;
    const std::string directory = folder.string() + "/";
    textures.loadTextureMaterial("check.png", directory);
    EXPECT_TRUE(Ogre::MaterialManager::getSingleton().resourceExists("check.png"));
    EXPECT_TRUE(Ogre::TextureManager::getSingleton().resourceExists("check.png", "General"));

    Ogre::ColourValue colour;
    ASSERT_TRUE(textures.sampleColour("check.png", 0.75f, 0.25f, colour));
    EXPECT_EQ(colour, Ogre::ColourValue::Green);
    ASSERT_TRUE(textures.sampleColour("check.png", 0.25f, 0.75f, colour));
    EXPECT_EQ(colour, Ogre::ColourValue::Blue);
    ASSERT_TRUE(textures.sampleColour("check.png", 1.75f, -0.25f, colour)) << "coordinates wrap";
    EXPECT_EQ(colour, Ogre::ColourValue::White);
    textures.loadTextureMaterial("check.png", directory);  // a second load changes nothing

    // A missing image is no error: no material, nothing to sample.
    EXPECT_NO_THROW(textures.loadTextureMaterial("missing.png", directory));
    EXPECT_FALSE(Ogre::MaterialManager::getSingleton().resourceExists("missing.png"));
    EXPECT_FALSE(textures.sampleColour("missing.png", 0.5f, 0.5f, colour));
    fs::remove_all(folder);
}
