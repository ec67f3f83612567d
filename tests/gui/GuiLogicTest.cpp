// The GUI's logic apart from the toolkit: the status message queue and its
// fade, the message box answers, the file dialog's prompts and listing, and
// the order in which the XML reader reports a settings file.
#include "gui/DialogFactory.h"
#include "gui/FileDialogModel.h"
#include "gui/StatusMessage.h"
#include "gui/XmlReader.h"
#include "log/Exception.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>
#include <fstream>

using namespace Kiln;
namespace fs = std::filesystem;

TEST(StatusMessageTest, QueuedMessagesFollowEachOtherAndFadeOut) {
    StatusMessage status(nullptr, nullptr);
    status.showMessage("", 1);
    EXPECT_EQ(status.getQueuedCount(), 0u);
    const std::string focus = "Lost window focus. Keys will not work.";
    status.showMessage(focus, 2);
    status.showMessage("next", 1);
    EXPECT_FLOAT_EQ(StatusMessage::defaultSeconds(focus), 2.875f);
    status.advance(2.0f);
    EXPECT_EQ(status.getAlert(), focus);
    EXPECT_FLOAT_EQ(status.getAlertAlpha(), 1.f);
    status.advance(0.625f); // 0.25 s left: half way through the fade
    EXPECT_NEAR(status.getAlertAlpha(), 0.5f, 1e-4f);
    status.setPaused(true);
    status.advance(10.f);
    EXPECT_EQ(status.getAlert(), focus);
    status.setPaused(false);
    status.advance(0.25f);
    EXPECT_EQ(status.getAlert(), "next");
    EXPECT_FLOAT_EQ(status.getAlertAlpha(), 1.f);
    status.advance(StatusMessage::defaultSeconds("next"));
    EXPECT_EQ(status.getAlert(), "");
    EXPECT_THROW(StatusMessage(nullptr, nullptr), Exception);
}

TEST(MessageBoxTest, ButtonSetsResultsAndTheCloseButton) {
    EXPECT_EQ(messageBoxCaptions(GMBB_YES_NO_CANCEL), (std::vector<std::string>{"Yes", "No", "Cancel"}));
    EXPECT_EQ(messageBoxCaptions(GMBB_ABORT_RETRY_IGNORE),
              (std::vector<std::string>{"Abort", "Retry", "Ignore"}));
    EXPECT_EQ(messageBoxCaptions(99), (std::vector<std::string>{"OK"}));
    int result = 1;
    for (const char* caption : {"OK", "Cancel", "Yes", "No", "Retry", "Abort", "Ignore"})
        EXPECT_EQ(messageBoxResultOf(caption), result++) << caption;
    EXPECT_EQ(messageBoxResultOf("Maybe"), 0);
    // Closing answers something the box offered.
    EXPECT_EQ(messageBoxCloseResult(GMBB_YES_NO_CANCEL), GMBR_CANCEL);
    EXPECT_EQ(messageBoxCloseResult(GMBB_OK), GMBR_OK);
    EXPECT_EQ(messageBoxCloseResult(GMBB_YES_NO), GMBR_NO);
    EXPECT_EQ(messageBoxCloseResult(GMBB_ABORT_RETRY_IGNORE), GMBR_ABORT);
}

class FileDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("morvel-dialog-" + std::to_string(::getpid()));
        fs::create_directories(folder / "sub");
        std::ofstream(folder / "b.stl") << "x";
        std::ofstream(folder / "a.cr8") << "x";
    }
    void TearDown() override { fs::remove_all(folder); }
    fs::path folder;
};

TEST_F(FileDialogTest, LoadModeAsksAboutMissingFilesAndEntersFolders) {
    FileDialogModel dialog(FileDialogModel::Mode::Load, folder.string(), "");
    EXPECT_EQ(dialog.list(), (std::vector<std::string>{"..", "sub/", "a.cr8", "b.stl"}));
    EXPECT_EQ(dialog.confirm("missing.cr8"), FileDialogModel::Outcome::PromptLoad);
    EXPECT_EQ(dialog.confirm("a.cr8"), FileDialogModel::Outcome::Finish);
    EXPECT_EQ(dialog.getChosenPath(), (folder / "a.cr8").generic_string());
    EXPECT_EQ(dialog.confirm("  "), FileDialogModel::Outcome::Nothing);
    EXPECT_EQ(dialog.confirm("sub"), FileDialogModel::Outcome::EnterFolder);
    EXPECT_EQ(dialog.getFolder(), (folder / "sub").generic_string());
    dialog.goUp();
    EXPECT_EQ(dialog.getFolder(), folder.generic_string());
    EXPECT_FALSE(dialog.enterFolder("b.stl"));
    EXPECT_EQ(dialog.getError(), "b.stl is an invalid directory...");
}

TEST_F(FileDialogTest, SaveModeAsksBeforeReplacingAndAddsTheFilterExtension) {
    FileDialogModel dialog(FileDialogModel::Mode::Save, folder.string(),
                           "Vod8 file (*.cr8)|*.cr8|STL File (*.stl)|*.stl|");
    ASSERT_EQ(dialog.getFilters().size(), 2u);
    EXPECT_EQ(dialog.list(), (std::vector<std::string>{"..", "sub/", "a.cr8"}));
    EXPECT_EQ(dialog.confirm("a"), FileDialogModel::Outcome::PromptSave);
    EXPECT_TRUE(dialog.getChosenPath().empty());
    dialog.acceptReplace();
    EXPECT_EQ(dialog.getChosenPath(), (folder / "a.cr8").generic_string());
    dialog.setFilterIndex(1);
    EXPECT_EQ(dialog.confirm("new"), FileDialogModel::Outcome::Finish);
    EXPECT_EQ(dialog.getChosenPath(), (folder / "new.stl").generic_string());
}

TEST(FileDialogPatternTest, GlobsAndDefaults) {
    EXPECT_TRUE(FileDialogModel::matches("*.*", "README"));
    EXPECT_TRUE(FileDialogModel::matches("*.stl", "part.one.stl"));
    EXPECT_FALSE(FileDialogModel::matches("*.stl", "part.stl.bak"));
    EXPECT_TRUE(FileDialogModel::matches("a?c*", "abcdef"));
    EXPECT_EQ(FileDialogModel::parseFilters("").front().pattern, "*.*");
    EXPECT_EQ(FileDialogModel::parseFilters("broken|").front().pattern, "*.*");
}

namespace {
struct Recorder : XmlReaderListener {
    std::vector<std::string> events;
    void onElementStart(const std::string& e) override { events.push_back("<" + e); }
    void onAttribute(const std::string& e, const std::string& n, const std::string& v) override {
        events.push_back(e + "." + n + "=" + v);
    }
    void onElementEnd(const std::string& e) override { events.push_back(">" + e); }
    void onComment(const std::string&) override { events.push_back("comment"); }
};
} // namespace

TEST(XmlReaderTest, ElementsEndAfterTheirAttributesAndBeforeTheirChildren) {
    Recorder recorder;
    XmlReader::parseXmlText("<S><!--c--><Window Name=\"A\" Event=\"MouseClick\"><Panel Name=\"P\"/></Window></S>",
                            "t", recorder);
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"<S", ">S", "comment", "<Window", "Window.Name=A",
                                        "Window.Event=MouseClick", ">Window", "<Panel", "Panel.Name=P",
                                        ">Panel"}));
    try {
        XmlReader::parseXml("/no/such/GuiSettingsV2.xml", recorder);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("Failed to load XML file: /no/such/GuiSettingsV2.xml"),
                  std::string::npos);
    }
}
