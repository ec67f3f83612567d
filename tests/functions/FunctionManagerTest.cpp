#include "FunctionTestSupport.h"

#include "config/LanguageTable.h"
#include "haptics/HapticEvent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

using Calls = std::vector<std::string>;

/// The entries of `log` that start with one of the probe names, in order.
Calls callsOf(const CallLog& log, const std::string& call) {
    Calls out;
    for (const std::string& entry : log)
        if (entry.size() > call.size() && entry.compare(entry.size() - call.size(), call.size(), call) == 0)
            out.push_back(entry.substr(0, entry.size() - call.size() - 1));
    return out;
}

class FunctionManagerTest : public ::testing::Test, public FunctionFixture {
protected:
    Kiln::HapticState hapticState;
    Kiln::HapticEvent hapticEvent{&hapticState, nullptr};

    std::unique_ptr<ProbeState> state(const std::string& id) {
        return std::make_unique<ProbeState>(nullptr, id, log);
    }
};

// ------------------------------------------------------------------ routing

TEST_F(FunctionManagerTest, EventsReachTheActiveToolFirstThenCommandsInNameOrder) {
    add("Zeta", FUNCTION_COMMAND);
    add("Alpha", FUNCTION_COMMAND);
    add("Paste", FUNCTION_TOOL | FUNCTION_COMMAND);
    add("Mover", FUNCTION_TOOL);
    manager->initFunctions();
    EXPECT_EQ(callsOf(log, "init"), (Calls{"Mover", "Paste", "Alpha", "Zeta"}))
        << "a function in two maps is initialised once";
    manager->activateFunction("Paste");
    log.clear();

    manager->hapticMoved(hapticEvent);
    manager->hapticButtonPressed(hapticEvent, (1u << 0) | (1u << 9));
    EXPECT_EQ(static_cast<ProbeFunction*>(manager->findFunction("Zeta"))->lastMask, 1u)
        << "only the eight grip buttons exist";
    manager->hapticButtonReleased(hapticEvent, 1u);
    // The active tool hears each event once, even though it is a command too;
    // an inactive tool hears nothing.
    EXPECT_EQ(callsOf(log, "moved"), (Calls{"Paste", "Alpha", "Zeta"}));
    EXPECT_EQ(callsOf(log, "pressed"), (Calls{"Paste", "Alpha", "Zeta"}));
    EXPECT_EQ(callsOf(log, "released"), (Calls{"Paste", "Alpha", "Zeta"}));
}

TEST_F(FunctionManagerTest, AConsumedPressStopsLaterCommandsButReleasesReachAll) {
    add("Alpha", FUNCTION_COMMAND)->consumeKeys = true;
    add("Beta", FUNCTION_COMMAND);
    add("Tool", FUNCTION_TOOL)->consumeKeys = true;
    manager->activateFunction("Tool");
    log.clear();

    // The tool consumes first; commands still hear the press (the tool is
    // not one of them) but the first command's consumption stops the walk.
    manager->keyPressed(key(OIS::KC_A));
    EXPECT_EQ(callsOf(log, "keyPressed"), (Calls{"Tool"}));
    EXPECT_FALSE(manager->isKeyDown(OIS::KC_A));
    EXPECT_TRUE(manager->isKeyHeld(OIS::KC_A));

    auto* tool = static_cast<ProbeFunction*>(manager->findFunction("Tool"));
    tool->consumeKeys = false;
    log.clear();
    manager->keyPressed(key(OIS::KC_B));
    EXPECT_EQ(callsOf(log, "keyPressed"), (Calls{"Tool", "Alpha"}));

    manager->keyReleased(key(OIS::KC_B));
    // Releases reach every command, and the active tool last.
    EXPECT_EQ(callsOf(log, "keyReleased"), (Calls{"Alpha", "Beta", "Tool"}));
    EXPECT_FALSE(manager->isKeyHeld(OIS::KC_B));

    // Codes beyond the key table are not tracked, so nobody can consume them.
    log.clear();
    const auto high = static_cast<OIS::KeyCode>(300);
    manager->keyPressed(key(high));
    EXPECT_FALSE(manager->isKeyHeld(high));
    EXPECT_EQ(callsOf(log, "keyPressed"), (Calls{"Tool", "Alpha", "Beta"}));
}

TEST_F(FunctionManagerTest, BusyOrNavigatingLeavesOnlyTheActiveToolListening) {
    add("Command", FUNCTION_COMMAND);
    add("Ticker", FUNCTION_UPDATE);
    ProbeFunction* tool = add("Tool", FUNCTION_TOOL);
    manager->activateFunction("Tool");

    for (int round = 0; round < 2; ++round) {
        if (round == 0) {
            tool->beginOperation();
            EXPECT_TRUE(manager->isBusy());
            EXPECT_FALSE(gui.hitTesting);
        } else {
            tool->endOperation();
            EXPECT_FALSE(manager->isBusy());
            EXPECT_TRUE(gui.hitTesting);
            manager->setInputEnabled(false);
        }
        log.clear();
        manager->hapticMoved(hapticEvent);
        manager->hapticButtonPressed(hapticEvent, 1u);
        manager->keyPressed(key(OIS::KC_A));
        manager->keyReleased(key(OIS::KC_A));
        manager->frameStarted(Ogre::FrameEvent());
        EXPECT_EQ(log, (Calls{"Tool:moved", "Tool:pressed", "Tool:keyPressed", "Tool:keyReleased",
                              "Tool:update"}))
            << "round " << round;
    }

    manager->setInputEnabled(true);
    log.clear();
    manager->frameStarted(Ogre::FrameEvent());
    EXPECT_EQ(callsOf(log, "update"), (Calls{"Tool", "Ticker"}));
}

TEST_F(FunctionManagerTest, EachFrameRunsQueuedTasksThenTheToolThenUpdateFunctions) {
    add("B-update", FUNCTION_UPDATE);
    add("A-update", FUNCTION_UPDATE);
    ProbeFunction* tool = add("Tool", FUNCTION_TOOL);
    add("Both", FUNCTION_TOOL | FUNCTION_UPDATE);
    tasks.queue([&] { log.push_back("task"); });

    manager->frameStarted(Ogre::FrameEvent());
    EXPECT_EQ(log, (Calls{"task", "A-update:update", "B-update:update", "Both:update"}));
    EXPECT_EQ(tasks.size(), 0u);

    // A plain tool that overrides update is ticked while active.
    manager->activateFunction("Tool");
    log.clear();
    manager->frameStarted(Ogre::FrameEvent());
    EXPECT_EQ(log, (Calls{"Tool:update", "A-update:update", "B-update:update", "Both:update"}));

    tool->updateResult = false;
    log.clear();
    manager->frameStarted(Ogre::FrameEvent());
    EXPECT_EQ(log, (Calls{"Tool:update"}));

    // A tool that is also an update function is ticked once a frame.
    manager->activateFunction("Both");
    log.clear();
    manager->frameStarted(Ogre::FrameEvent());
    EXPECT_EQ(callsOf(log, "update"), (Calls{"Both", "A-update", "B-update"}));
}

// --------------------------------------------------------------- activation

TEST_F(FunctionManagerTest, ActivationSwitchesToolsAndReactivationOnlyRefreshesTexts) {
    add("First", FUNCTION_TOOL);
    add("Second", FUNCTION_TOOL);
    add("Command", FUNCTION_COMMAND);

    manager->activateFunction("First");
    manager->activateFunction("First");
    EXPECT_EQ(log, (Calls{"First:activate"}));
    EXPECT_EQ(status.functionBar, (Calls{"First title", "First title"}));
    EXPECT_EQ(status.helpTexts.back(), "First help");

    manager->activateFunction("Second");
    EXPECT_EQ(log, (Calls{"First:activate", "First:deactivate", "Second:activate"}));
    EXPECT_EQ(manager->getActiveTool()->getName(), "Second");
    EXPECT_EQ(status.functionBar.back(), "Second title");

    try {
        manager->activateFunction("Command");
        FAIL() << "a command is not a tool";
    } catch (const Kiln::Exception& error) {
        EXPECT_EQ(error.getCode(), 9);
        EXPECT_EQ(error.getDescription(),
                  "Command is not a registered/active function or was unregistered before.");
    }
    EXPECT_EQ(manager->getActiveTool()->getName(), "Second");
}

TEST_F(FunctionManagerTest, InvokeActivatesToolsExecutesCommandsAndReportsErrors) {
    add("Tool", FUNCTION_TOOL);
    ProbeFunction* command = add("Command", FUNCTION_COMMAND);
    manager->pushState(state("s1"));

    EXPECT_TRUE(manager->invokeFunction("Tool"));
    EXPECT_TRUE(manager->invokeFunction("Command"));
    EXPECT_EQ(log, (Calls{"Tool:activate", "Command:execute"}));

    EXPECT_TRUE(manager->invokeFunction("Undo"));
    EXPECT_TRUE(manager->invokeFunction("Redo"));
    EXPECT_EQ(manager->getUndoCount(), 1u);
    EXPECT_EQ(manager->getRedoCount(), 0u);

    EXPECT_FALSE(manager->invokeFunction("Nothing"));
    EXPECT_TRUE(dialogs.boxes.empty());

    command->throwOnExecute = true;
    EXPECT_FALSE(manager->invokeFunction("Command"));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].first, "Error");
    const std::string& text = dialogs.boxes[0].second;
    EXPECT_EQ(text.rfind("An error occurred while trying to execute a function:\n", 0), 0u);
    EXPECT_NE(text.find("probe failed"), std::string::npos);
}

// ---------------------------------------------------------------- arguments

TEST(FunctionArguments, SplitAtSingleBlanksAfterTrimming) {
    EXPECT_EQ(splitArguments("Union"), (Calls{"Union"}));
    EXPECT_EQ(splitArguments("  a b  "), (Calls{"a", "b"}));
    EXPECT_EQ(splitArguments("a  b"), (Calls{"a", "", "b"}));
    EXPECT_EQ(splitArguments(""), (Calls{""}));
    EXPECT_EQ(splitArguments("   "), (Calls{""}));
}

TEST_F(FunctionManagerTest, ArgumentsWaitForTheirFunctionAndReachItWhenItRegisters) {
    manager->setFunctionArgument("Later", "first");
    manager->setFunctionArgument("Later", "slider 0.5");
    ProbeFunction* later = add("Later", FUNCTION_COMMAND);
    EXPECT_EQ(log, (Calls{"Later:argument"}));
    EXPECT_EQ(later->getArguments(), (Calls{"slider", "0.5"}));

    manager->setFunctionArgument("Later", "");
    EXPECT_EQ(log.size(), 2u);
    EXPECT_EQ(later->getArguments(), (Calls{""}));

    later->setArguments("x y");
    EXPECT_EQ(later->getArguments2(), (Calls{"x", "y"}));
    EXPECT_EQ(later->getArguments(), (Calls{""}));

    // The first function under a name wins.
    EXPECT_EQ(add("Later", FUNCTION_TOOL), nullptr);
    EXPECT_EQ(manager->findFunction("Later"), later);
}

TEST_F(FunctionManagerTest, UndoAndRedoButtonsBindToExistingWindowsOnly) {
    try {
        manager->setFunctionArgument("Undo", "Root/UndoButton");
        FAIL() << "no such window";
    } catch (const Kiln::Exception& error) {
        EXPECT_EQ(error.getCode(), 3);
        EXPECT_EQ(error.getDescription(), "Invalid function argument for \"Undo\" function");
    }
    gui.windows = {"Root/UndoButton", "Root/RedoButton"};
    manager->setFunctionArgument("Undo", "Root/UndoButton");
    manager->setFunctionArgument("Redo", "Root/RedoButton");
    EXPECT_FALSE(gui.enabled.at("Root/UndoButton"));
    EXPECT_FALSE(gui.enabled.at("Root/RedoButton"));

    manager->pushState(state("s1"));
    EXPECT_TRUE(gui.enabled.at("Root/UndoButton"));
    gui.click("Root/UndoButton");
    EXPECT_EQ(log, (Calls{"s1:undo"}));
    EXPECT_FALSE(gui.enabled.at("Root/UndoButton"));
    EXPECT_TRUE(gui.enabled.at("Root/RedoButton"));
    gui.click("Root/RedoButton");
    EXPECT_EQ(log.back(), "s1:redo");
    EXPECT_TRUE(gui.enabled.at("Root/UndoButton"));
    EXPECT_FALSE(gui.enabled.at("Root/RedoButton"));
}

// ------------------------------------------------------------------ history

TEST_F(FunctionManagerTest, TheUndoLimitDropsTheOldestEntriesOnly) {
    EXPECT_EQ(manager->getUndoLimit(), 50u);
    for (int i = 0; i < 51; ++i)
        manager->pushState(state("s" + std::to_string(i)));
    EXPECT_EQ(manager->getUndoCount(), 50u);
    EXPECT_EQ(log, (Calls{"s0:deleted"}));

    // Undo all fifty and redo them: redo never drops anything.
    for (int i = 0; i < 50; ++i)
        manager->undo();
    for (int i = 0; i < 50; ++i)
        manager->redo();
    EXPECT_EQ(manager->getUndoCount(), 50u);
    EXPECT_EQ(std::count(log.begin(), log.end(), "s1:redo"), 1);
    EXPECT_EQ(log.back(), "s50:redo");
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& e) { return e.find(":deleted") != std::string::npos; }),
              1);
}

TEST_F(FunctionManagerTest, APushAfterUndosForgetsTheRedoList) {
    manager->pushState(state("a"));
    manager->pushState(state("b"));
    manager->pushState(state("c"));
    manager->undo();
    manager->undo();
    manager->pushState(state("d"));
    EXPECT_EQ(log, (Calls{"c:undo", "b:undo", "c:deleted", "b:deleted"}));
    EXPECT_EQ(manager->getRedoCount(), 0u);
    manager->redo();
    EXPECT_EQ(status.last().text, "No more REDOs available");
    manager->undo();
    EXPECT_EQ(log.back(), "d:undo");
}

TEST_F(FunctionManagerTest, HistoryStepsPostTheirMessagesAndMarkTheSceneModified) {
    ProbeFunction* tool = add("Tool", FUNCTION_TOOL);
    manager->undo();
    EXPECT_EQ(status.last().text, "No more UNDOs available");
    EXPECT_FLOAT_EQ(status.last().seconds, 5.0f);
    EXPECT_EQ(status.last().type, 2);
    EXPECT_EQ(flags, 2) << "nothing changed";

    flags = 2 | 4;  // saved, and the end of the program requested
    manager->pushState(std::make_unique<ProbeState>(tool, "s", log));
    EXPECT_EQ(flags, 1 | 4) << "the end request survives";

    flags = 2;  // saved again
    manager->undo();
    EXPECT_EQ(status.last().text, "Undo Tool title");
    EXPECT_FLOAT_EQ(status.last().seconds, 3.0f);
    EXPECT_EQ(status.last().type, 2);
    EXPECT_EQ(flags, 1) << "an undo after a save leaves unsaved changes";

    flags = 2;
    manager->redo();
    EXPECT_EQ(status.last().text, "Redo Tool title");
    EXPECT_EQ(flags, 1);

    manager->clearHistory();
    EXPECT_EQ(manager->getUndoCount() + manager->getRedoCount(), 0u);
    EXPECT_EQ(log.back(), "s:deleted");

    // An operation that ends without an entry changes nothing.
    flags = 2;
    tool->beginOperation();
    tool->commitOperation(nullptr);
    EXPECT_FALSE(manager->isBusy() || tool->isBusy());
    EXPECT_TRUE(gui.hitTesting);
    EXPECT_EQ(manager->getUndoCount(), 0u);
    EXPECT_EQ(flags, 2);
}

// ----------------------------------------------------------------- keyboard

TEST_F(FunctionManagerTest, EscapeHoldsHapticsOffButKeepsAToolsOwnRequest) {
    add("Tool", FUNCTION_TOOL);
    add("Other", FUNCTION_TOOL);
    manager->activateFunction("Tool");
    ProbeFunction* busyTool = static_cast<ProbeFunction*>(manager->findFunction("Tool"));
    busyTool->beginOperation();  // Escape works in the middle of an operation

    manager->keyPressed(key(OIS::KC_ESCAPE));
    EXPECT_FALSE(haptics.isWanted());
    EXPECT_EQ(status.last().text, "Haptics is now turned off.");
    EXPECT_FLOAT_EQ(status.last().seconds, 2.125f);
    manager->keyReleased(key(OIS::KC_ESCAPE));
    EXPECT_TRUE(haptics.isWanted());
    EXPECT_EQ(status.last().text, "Haptics is now turned on.");
    busyTool->endOperation();

    manager->requestHaptics(busyTool, false);
    tap(OIS::KC_ESCAPE);
    EXPECT_FALSE(haptics.isWanted()) << "the tool still wants haptics off";
    manager->activateFunction("Other");
    EXPECT_TRUE(haptics.isWanted()) << "a deactivated tool's request is withdrawn";
}

TEST_F(FunctionManagerTest, ControlZAndControlYStepThroughHistoryUnlessBusy) {
    ProbeFunction* tool = add("Tool", FUNCTION_TOOL);
    manager->pushState(state("s"));
    tap(OIS::KC_Z);
    EXPECT_EQ(manager->getUndoCount(), 1u) << "Z alone does nothing";

    manager->keyPressed(key(OIS::KC_RCONTROL));
    tap(OIS::KC_Z);
    EXPECT_EQ(manager->getRedoCount(), 1u);
    tap(OIS::KC_Y);
    EXPECT_EQ(manager->getUndoCount(), 1u);

    manager->activateFunction("Tool");
    tool->beginOperation();
    tap(OIS::KC_Z);
    EXPECT_EQ(manager->getUndoCount(), 1u) << "no undo in the middle of an operation";
    tool->endOperation();
    manager->keyReleased(key(OIS::KC_RCONTROL));
    tap(OIS::KC_Z);
    EXPECT_EQ(manager->getUndoCount(), 1u);

    // A failing entry is reported, dropped, and the keyboard carries on.
    auto failing = state("broken");
    failing->throwOnUndo = true;
    manager->pushState(std::move(failing));
    manager->keyPressed(key(OIS::KC_LCONTROL));
    EXPECT_NO_THROW(tap(OIS::KC_Z));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_NE(dialogs.boxes[0].second.find("undo failed"), std::string::npos);
    EXPECT_EQ(manager->getUndoCount(), 1u);
    EXPECT_EQ(manager->getRedoCount(), 0u);
    EXPECT_NE(std::find(log.begin(), log.end(), "broken:deleted"), log.end());
}

TEST_F(FunctionManagerTest, ShortcutKeysSwitchToolsAndAMissingToolIsOnlyReported) {
    add("DeformFunction", FUNCTION_TOOL);
    add("MoveObject", FUNCTION_TOOL);
    tap(OIS::KC_H);
    EXPECT_EQ(manager->getActiveTool()->getName(), "DeformFunction");
    tap(OIS::KC_M);
    EXPECT_EQ(manager->getActiveTool()->getName(), "MoveObject");
    EXPECT_EQ(gui.selected, (Calls{"DeformButton", "MoveButton"}));

    EXPECT_NO_THROW(tap(OIS::KC_R));
    EXPECT_EQ(manager->getActiveTool()->getName(), "MoveObject");
    EXPECT_EQ(status.last().text,
              "RotateObject is not a registered/active function or was unregistered before.");
    EXPECT_EQ(gui.selected.size(), 2u);
}

// ------------------------------------------------------------ texts, start-up

TEST_F(FunctionManagerTest, TitlesComeFromTheLanguageTableAndNameTheirWindows) {
    const std::string path = ::testing::TempDir() + "/functions_lang.xml";
    std::ofstream(path) << "<ArrayOfResourceEntity>"
                           "<ResourceEntity><id>78</id><text>Sculpt</text></ResourceEntity>"
                           "<ResourceEntity><id>80</id><text>Push to sculpt</text></ResourceEntity>"
                           "</ArrayOfResourceEntity>";
    Kiln::LanguageTable language;
    language.load(path, "TestFont");
    context.language = &language;

    class Texts : public FunctionBase {
    public:
        Texts(FunctionContext& c, const std::string& name, std::int32_t id)
            : FunctionBase(c, name, FUNCTION_COMMAND, "Test", FunctionText::id(id),
                           FunctionText::id(80)) {}
    };
    manager->registerFunction(std::make_unique<Texts>(context, "Known", 78));
    manager->registerFunction(std::make_unique<Texts>(context, "Missing", 12345));
    EXPECT_EQ(manager->findFunction("Known")->getTitle(), "Sculpt");
    EXPECT_EQ(manager->findFunction("Known")->getHelpText(), "Push to sculpt");
    EXPECT_EQ(manager->findFunction("Missing")->getTitle(), "STRING NOT FOUND");

    gui.naming = {{"Root/Menu/Sculpt", "Known"}, {"Root/Menu/Gone", "Unregistered"}};
    manager->remapFunctionTexts();
    ASSERT_EQ(gui.texts.size(), 1u);
    EXPECT_EQ(gui.texts.at("Root/Menu/Sculpt"), std::make_pair(std::string("Sculpt"), std::string("TestFont")));
}

TEST_F(FunctionManagerTest, RegisteredFunctionClassesAreCreatedAtStartUp) {
    manager->createRegisteredFunctions();
    FunctionBase* deform = manager->findFunction("DeformFunction");
    ASSERT_NE(deform, nullptr);
    EXPECT_EQ(deform->getKind(), std::uint32_t(FUNCTION_TOOL));
    EXPECT_EQ(deform->getCategory(), "Tools");
    FunctionBase* frames = manager->findFunction("FrameRateFunction");
    ASSERT_NE(frames, nullptr);
    EXPECT_EQ(frames->getKind(), std::uint32_t(FUNCTION_COMMAND | FUNCTION_UPDATE));
    EXPECT_EQ(frames->getTitle(), "Frame-rate function");
    EXPECT_EQ(frames->getHelpText(), "No help!");
    // The H key reaches the registered deform tool.
    tap(OIS::KC_H);
    EXPECT_EQ(manager->getActiveTool(), deform);
}

} // namespace
