// The file tools' decisions without a window: when the user's work counts
// as safe, what autosave does with the settings it is given, and where it
// writes.
#include "FunctionTestSupport.h"

#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "functions/file/AutosaveFunction.h"
#include "functions/file/FileFunctions.h"
#include "functions/file/SceneContents.h"
#include "scene/IObjectFactory.h"
#include "scene/Object.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

/// Answers questions and save dialogs from scripted lists, recording what
/// was shown.
class ScriptedDialogs : public RecordingDialogs {
public:
    void ask(const std::string& title, const std::string& text, int buttons,
             std::function<void(int)> done) override {
        asked.push_back(title);
        (void)text;
        (void)buttons;
        const int answer = answers.empty() ? filetexts::CANCEL : answers.front();
        if (!answers.empty())
            answers.pop_front();
        done(answer);
    }
    void askSaveFile(const std::string&, const std::string&, const std::string&,
                     std::function<void(const std::string*)> done) override {
        ++saveDialogs;
        const std::string path = paths.empty() ? std::string() : paths.front();
        if (!paths.empty())
            paths.pop_front();
        done(path.empty() ? nullptr : &path);
    }
    std::deque<int> answers;
    std::deque<std::string> paths; ///< "" cancels
    std::vector<std::string> asked;
    int saveDialogs = 0;
};

class FakeHost : public IDocumentHost {
public:
    bool hasUnsavedChanges() const override { return modified; }
    std::string getCurrentFile() const override { return file; }
    void setCurrentFile(const std::string& path) override {
        file = path;
        modified = false;
    }
    void endProgram() override { ended = true; }
    std::string getAutosaveFolder() const override { return folder; }
    std::string readSetting(const std::string& key, const std::string& fallback) const override {
        const auto found = settings.find(key);
        return found == settings.end() ? fallback : found->second;
    }
    void writeSetting(const std::string& key, const std::string& value) override { settings[key] = value; }

    bool modified = true;
    bool ended = false;
    std::string file;
    std::string folder;
    std::map<std::string, std::string> settings;
};

class AutosaveGui : public FakeGui {
public:
    AutosaveGui() { windows = {"Root/AutosaveCheckbox", "Root/AutosaveIntervalEditbox"}; }
    bool isSelected(const std::string&) const override { return ticked; }
    std::string getWindowText(const std::string&) const override { return interval; }
    bool ticked = true;
    std::string interval = "5";
};

struct FileFixture : ::testing::Test {
    FileFixture() {
        folder = fs::temp_directory_path() / ("morvel-files-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        context.sceneRoot = &root;
        context.objectFactory = &factory;
        context.dialogs = &dialogs;
        context.status = &status;
        context.documentHost = &host;
        context.gui = &gui;
        root.setScale(Ogre::Vector3(0.2f));
        root.updateTransform();
        auto object = factory.createObject();
        object->setPosition(Ogre::Vector3(10.f, 0.f, 0.f));
        std::unique_ptr<Kiln::ObjectGroup> node = std::move(object);
        root.addChild(node);
        root.updateTransform();
    }
    ~FileFixture() override { fs::remove_all(folder); }

    /// Runs the autosave function for `seconds` of frames of 1 s.
    void runFor(AutosaveFunction& autosave, int seconds) {
        Ogre::FrameEvent frame;
        frame.timeSinceLastFrame = 1.f;
        for (int i = 0; i < seconds; ++i)
            autosave.update(frame);
    }
    bool autosaved() const { return fs::exists(folder / "Autosave.cr8"); }

    fs::path folder;
    Kiln::ObjectGroup root;
    Kiln::PlainObjectFactory factory;
    ScriptedDialogs dialogs;
    RecordingStatus status;
    FakeHost host;
    AutosaveGui gui;
    FunctionContext context;
};

} // namespace

TEST_F(FileFixture, ActionRunsOnlyOnceTheWorkIsSafe) {
    SaveFunction save(context);
    int ran = 0;
    const auto action = [&] { ++ran; };

    dialogs.answers = {filetexts::CANCEL};
    save.confirmThen(action);
    EXPECT_EQ(ran, 0) << "Cancel drops the action";
    EXPECT_FALSE(save.isConfirming()) << "and the next request asks again";

    // Yes, then the save dialog is cancelled: the action must not run.
    dialogs.answers = {filetexts::YES};
    dialogs.paths = {""};
    save.confirmThen(action);
    EXPECT_EQ(ran, 0);
    EXPECT_TRUE(host.modified);

    // Yes, then a file that cannot be written.
    const std::string blocked = (folder / "file" / "scene.cr8").string();
    std::ofstream(folder / "file") << "not a folder";
    dialogs.answers = {filetexts::YES};
    dialogs.paths = {blocked};
    save.confirmThen(action);
    EXPECT_EQ(ran, 0);
    EXPECT_TRUE(host.modified);
    EXPECT_EQ(status.last().text, "Failed to save to '" + blocked + "'.");

    // Yes and a good file: saved first, then the action.
    const std::string good = (folder / "scene.cr8").string();
    dialogs.answers = {filetexts::YES};
    dialogs.paths = {good};
    save.confirmThen(action);
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(host.modified);
    EXPECT_EQ(host.file, good);
    EXPECT_EQ(dialogs.asked, std::vector<std::string>(4, "Wait!!!"));

    // Nothing unsaved: no question.
    save.confirmThen(action);
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(dialogs.asked.size(), 4u);
}

TEST_F(FileFixture, FailedSaveToCurrentFileOffersAnotherAndKeepsTheOldFile) {
    SaveFunction save(context);
    const fs::path current = folder / "current.cr8";
    std::ofstream(current) << "previous contents";
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    host.file = current.string();
    const bool canWriteAnyway = std::ofstream(folder / "probe").good(); // root ignores permissions
    if (canWriteAnyway) {
        fs::permissions(folder, fs::perms::owner_all);
        host.file = (folder / "missing" / "current.cr8").string();
    }
    dialogs.answers = {filetexts::NO};
    bool result = true;
    save.save([&](bool saved) { result = saved; });
    EXPECT_FALSE(result);
    EXPECT_EQ(dialogs.asked, std::vector<std::string>{"Failed to save scene"});
    EXPECT_EQ(dialogs.saveDialogs, 0);
    fs::permissions(folder, fs::perms::owner_all);
    std::ifstream in(current);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "previous contents");

    // Yes goes on to the save dialog.
    dialogs.answers = {filetexts::YES};
    dialogs.paths = {(folder / "elsewhere.cr8").string()};
    save.save([&](bool saved) { result = saved; });
    EXPECT_TRUE(result);
    EXPECT_EQ(host.file, (folder / "elsewhere.cr8").string());
}

TEST_F(FileFixture, SaveWritesAloneWithItsNoticeUp) {
    TaskQueue tasks;
    context.tasks = &tasks;
    SaveAsFunction saveAs(context);
    const fs::path path = folder / "scene.cr8";
    dialogs.paths = {path.string()};
    saveAs.execute();
    // The notice is up a frame before the write, so that it is drawn.
    EXPECT_EQ(status.busy, "Saving into a file. Please wait...");
    EXPECT_FALSE(fs::exists(path));
    bool otherRan = false;
    tasks.queue([&] {
        // Queued while the save waits (an import, say): it must find the
        // save done, not run before it.
        EXPECT_TRUE(fs::exists(path));
        otherRan = true;
    });
    tasks.runQueued();
    EXPECT_TRUE(fs::exists(path));
    EXPECT_FALSE(otherRan) << "the save's frame runs nothing else";
    EXPECT_EQ(status.busy, "");
    EXPECT_EQ(status.last().text, "Saved to '" + path.string() + "' successfully.");
    tasks.runQueued();
    EXPECT_TRUE(otherRan);
}

TEST_F(FileFixture, SavedFileHoldsTheObjectsAtScaleOneAndReopensUnderTheRoot) {
    const fs::path path = folder / "scene.cr8";
    scenefiles::writeSceneContents(root, path.string());
    Kiln::ObjectGroup reopenedRoot;
    reopenedRoot.setScale(Ogre::Vector3(0.2f));
    std::unique_ptr<Kiln::ObjectGroup> loaded = scenefiles::readSceneFile(path.string(), factory);
    EXPECT_EQ(loaded->getScale(), Ogre::Vector3::UNIT_SCALE);
    scenefiles::moveChildren(*loaded, reopenedRoot);
    reopenedRoot.updateTransform();
    ASSERT_EQ(reopenedRoot.getChildren().size(), 1u);
    EXPECT_EQ(reopenedRoot.getChildren()[0]->getWorldMatrix(), root.getChildren()[0]->getWorldMatrix());
}

TEST_F(FileFixture, AutosaveIntervalAndSwitch) {
    host.folder = folder.string();
    AutosaveFunction autosave(context);
    autosave.init();
    gui.interval = "1";
    runFor(autosave, 59);
    EXPECT_FALSE(autosaved());
    EXPECT_EQ(host.settings["Autosave.Period"], "1");
    runFor(autosave, 2);
    EXPECT_TRUE(autosaved());
    EXPECT_FALSE(host.file.size()) << "an autosave is not the user's file";
    EXPECT_TRUE(host.modified);

    // Text that is no number changes nothing; out-of-range periods stop it.
    fs::remove(folder / "Autosave.cr8");
    for (const char* text : {"abc", "1x", "", " "}) {
        gui.interval = text;
        runFor(autosave, 1);
        EXPECT_EQ(autosave.getPeriod(), 1) << text;
    }
    for (const char* text : {"0", "1440", "-3"}) {
        gui.interval = text;
        runFor(autosave, 200);
        EXPECT_FALSE(autosaved()) << text;
    }
    gui.interval = "1";
    gui.ticked = false;
    runFor(autosave, 200);
    EXPECT_FALSE(autosaved());
    EXPECT_EQ(host.settings["Autosave.Enable"], "false");
}

TEST_F(FileFixture, AutosaveWithoutFolderWritesNothing) {
    AutosaveFunction autosave(context);
    autosave.execute();
    EXPECT_EQ(status.last().text, "Autosave Failed");
    EXPECT_FALSE(fs::exists("/Autosave.cr8"));
}

TEST_F(FileFixture, RecentFilesLatestFirstOnceEachAndBounded) {
    for (int i = 0; i < recentFileCount + 3; ++i)
        rememberRecentFile(host, "/scenes/" + std::to_string(i) + ".cr8");
    rememberRecentFile(host, "/scenes/5.cr8");
    const std::vector<std::string> files = recentFiles(host);
    ASSERT_EQ(files.size(), std::size_t(recentFileCount));
    EXPECT_EQ(files[0], "/scenes/5.cr8");
    EXPECT_EQ(files[1], "/scenes/" + std::to_string(recentFileCount + 2) + ".cr8");
    EXPECT_EQ(std::count(files.begin(), files.end(), "/scenes/5.cr8"), 1);
    EXPECT_EQ(host.settings["RecentFile.Recent.1"], "/scenes/5.cr8");
}

TEST_F(FileFixture, ARecentFileThatIsGoneIsTakenOffTheListNotOpened) {
    const std::string kept = (folder / "kept.cr8").string();
    std::ofstream(kept) << "not opened by this test";
    const std::string gone = (folder / "gone.cr8").string();
    rememberRecentFile(host, kept);
    rememberRecentFile(host, gone); // latest: position 1
    host.modified = false;

    FunctionManager manager(context);
    context.functions = &manager;
    for (const FunctionRegistrar* r = FunctionRegistrar::head(); r; r = r->getNext())
        manager.registerFunction(r->create(context));
    manager.setFunctionArgument("OpenRecentFunction", "1");
    manager.invokeFunction("OpenRecentFunction");

    EXPECT_EQ(recentFiles(host), std::vector<std::string>{kept});
    EXPECT_NE(status.last().text.find("no longer exists"), std::string::npos) << status.last().text;
    EXPECT_EQ(root.getChildren().size(), 1u) << "the scene is left as it was";
    EXPECT_TRUE(host.file.empty());
    context.functions = nullptr;
}
