// Runs the morvel program itself, as a user or a script would.
#include <gtest/gtest.h>

#include <OgreDataStream.h>
#include <OgreImage.h>
#include <OgreRoot.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace {

struct Result {
    int exitCode = -1;
    std::string output;  // standard output and error together
};

Result run(const std::string& command) {
    Result result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    std::array<char, 4096> buffer;
    while (const std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe))
        result.output.append(buffer.data(), n);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

/// A scratch home: its own working folder and XDG folders.
class ProcessTest : public testing::Test {
protected:
    void SetUp() override {
        root = fs::path(testing::TempDir()) /
               ("morvel-process-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root);
        fs::create_directories(root / "work" / "Config");
        fs::create_directories(root / "xdg");
    }
    void TearDown() override { fs::remove_all(root); }

    std::string environment() const {
        const std::string xdg = (root / "xdg").string();
        return "MORVEL_NO_DIALOGS=1 HOME='" + xdg + "' XDG_DATA_HOME='" + xdg + "/data' XDG_STATE_HOME='" +
               xdg + "/state' ";
    }
    Result morvel(const std::string& arguments, const std::string& extraEnvironment = "") const {
        return run("cd '" + (root / "work").string() + "' && " + environment() + extraEnvironment + " " +
                   MORVEL_BINARY + " " + arguments);
    }
    fs::path root;
};

bool containsLine(const std::string& text, const std::string& line) {
    return text.find(line) != std::string::npos;
}

} // namespace

TEST_F(ProcessTest, StartsRendersTheConfiguredBackgroundAndSavesTheUserConfiguration) {
    // A settings file in the working folder wins over the shipped one. The
    // window is wide enough for the panels to leave the centre to the view.
    std::ofstream(root / "work" / "Config" / "Settings.xml")
        << "<Config><Application Resolution=\"800x600\" Vsync=\"false\"/>"
           "<Background Color=\"0.1 0.7 0.3\"/></Config>";
    const fs::path shot = root / "shot.png";
    const Result result = morvel("-noSplashScreen -exitAfterFrames=3 -screenshot=" + shot.string());
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(containsLine(result.output, "GraphicsManager::endScene()")) << result.output;
    EXPECT_TRUE(fs::exists(root / "xdg" / "data" / "Morvel" / "FunctionConfig.cfg"));
    EXPECT_TRUE(fs::exists(root / "xdg" / "state" / "Morvel" / "Kiln.log"));

    Ogre::Root engine("", "", "");
    engine.loadPlugin(std::string(MORVEL_OGRE_PLUGIN_DIR) + "/Codec_STBI");
    std::ifstream file(shot, std::ios::binary);
    ASSERT_TRUE(file.good()) << result.output;
    Ogre::Image image;
    image.load(Ogre::DataStreamPtr(new Ogre::FileStreamDataStream(&file, false)), "png");
    ASSERT_EQ(image.getWidth(), 800u);
    ASSERT_EQ(image.getHeight(), 600u);
    const Ogre::ColourValue centre = image.getColourAt(400, 300, 0);
    EXPECT_NEAR(centre.r, 0.1, 0.02);
    EXPECT_NEAR(centre.g, 0.7, 0.02);
    EXPECT_NEAR(centre.b, 0.3, 0.02);
}

TEST_F(ProcessTest, UnreadableSettingsStopTheStartWithStatus255AndWriteNothing) {
    const fs::path data = root / "data";
    fs::create_directories(data / "Config");
    fs::copy_file(fs::path(MORVEL_SOURCE_DATA_DIR) / "lang_en.xml", data / "lang_en.xml");
    fs::copy_file(fs::path(MORVEL_SOURCE_DATA_DIR) / "lang_cn.xml", data / "lang_cn.xml");
    std::ofstream(data / "Config" / "Settings.xml") << "<Config><Window Title=\"x\"></Config";
    std::ofstream(root / "work" / "Config" / "Settings.xml") << "not xml at all <";

    const Result result = morvel("", "MORVEL_DATA_DIR='" + data.string() + "'");
    EXPECT_EQ(result.exitCode, 255) << result.output;
    EXPECT_TRUE(containsLine(result.output, "The application was unable to start :(")) << result.output;
    EXPECT_TRUE(containsLine(result.output, "KILN EXCEPTION(7:): Failed to load settings file "
                                            "Config/Settings.xml in SimpleXMLKeyValueStore::SettingsFile"))
        << result.output;
    EXPECT_FALSE(fs::exists(root / "xdg" / "data" / "Morvel" / "FunctionConfig.cfg"));
    EXPECT_FALSE(fs::exists(root / "xdg" / "state" / "Morvel" / "Kiln.log"));
}

TEST_F(ProcessTest, WithoutADisplayItSaysSoInOneLine) {
    const Result result = morvel("", "DISPLAY= ");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(containsLine(result.output, "no X display")) << result.output;
    EXPECT_TRUE(containsLine(result.output, "xvfb-run")) << result.output;
    EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
}

TEST_F(ProcessTest, UninstallDeletesLogsAndEndsWithoutStarting) {
    const fs::path folder = root / "installed";
    fs::create_directories(folder);
    std::ofstream(folder / "old.log") << "x";
    std::ofstream(folder / "keep.cr8") << "x";
    const Result result = morvel("/Uninstall '" + folder.string() + "'", "DISPLAY= ");
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_FALSE(fs::exists(folder / "old.log"));
    EXPECT_TRUE(fs::exists(folder / "keep.cr8"));
}
