// The Application in a real window (under Xvfb in CI).
#include "app/Application.h"
#include "io/SceneFiles.h"
#include "mesh/MeshEditor.h"
#include "scene/IObjectFactory.h"
#include "scene/Object.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

/// A home folder of its own, so crash saves land somewhere disposable.
class ApplicationTest : public testing::Test {
protected:
    void SetUp() override {
        home = fs::path(testing::TempDir()) / "application-test-home";
        fs::remove_all(home);
        fs::create_directories(home);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        setenv("XDG_STATE_HOME", (home / "state").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(home); }
    fs::path home;
};

} // namespace

TEST_F(ApplicationTest, ForcedSaveWritesTheUsersObjectsOnlyWhenThereAreAny) {
    Application application("Config/Settings.xml", "Config/HapticSettings.xml");
    const fs::path saved = home / "Documents" / "ForcedSave.cr8";
    EXPECT_FALSE(application.forcedSave()) << "an empty scene is not saved";
    EXPECT_FALSE(fs::exists(saved));

    auto cube = std::make_unique<Kiln::Object>();
    cube->setMesh(Kiln::MeshEditor::createNewDynamicMesh(1, Ogre::ColourValue(0.9f, 0.2f, 0.1f, 1)));
    std::unique_ptr<Kiln::ObjectGroup> node = std::move(cube);
    application.getContext().sceneRoot->addChild(node);
    ASSERT_TRUE(application.forcedSave());
    ASSERT_TRUE(fs::exists(saved));

    Kiln::ObjectGroup readBack;
    Kiln::PlainObjectFactory factory;
    Kiln::importSceneFile(saved.string(), readBack, factory);
    ASSERT_EQ(readBack.getChildren().size(), 1u);
    const Kiln::DynamicMesh* mesh = readBack.getChildren().front()->getMesh();
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->getVertexCount(), 3750u);
    EXPECT_EQ(mesh->getFaceCount(), 6912u);
}

TEST_F(ApplicationTest, RunEndsAfterTheRequestedFramesAndSavesTheUserConfiguration) {
    Application application("Config/Settings.xml", "Config/HapticSettings.xml");
    application.setCommandLine("-noSplashScreen -exitAfterFrames=4");
    EXPECT_EQ(application.runProtected(), 0);
    EXPECT_TRUE(application.isStarted());
    EXPECT_EQ(application.getFrameCount(), 4u);
    EXPECT_TRUE(application.getContext().isEndRequested());
    EXPECT_TRUE(fs::exists(home / "data" / "Morvel" / "FunctionConfig.cfg"));
}
