#include "app/SessionScript.h"
#include "app/StatusLine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Kind = Kiln::ScriptCommand::Kind;

bool knownKey(const std::string& name) {
    static const std::vector<std::string> keys = {"h", "H", "z", "Escape", "x", "ctrl", "shift", "alt"};
    return std::find(keys.begin(), keys.end(), name) != keys.end();
}

int errorLine(const std::string& text) {
    try {
        Kiln::parseScript(text, knownKey);
    } catch (const Kiln::ScriptError& e) {
        return e.line;
    }
    return -1;
}

TEST(SessionScript, ParsesEveryCommandAndSkipsCommentsAndBlanks) {
    const auto commands = Kiln::parseScript("# a session\n"
                                            "\n"
                                            "frames 3\n"
                                            "  sleep 0.25\n"
                                            "stylus 1 -2.5 3e-1\n"
                                            "stylus 0 0 0 5 0.5\n"
                                            "invoke CreateObject  sphere big \n"
                                            "invoke Undo\n"
                                            "key ctrl+shift+z\n"
                                            "keydown H\n"
                                            "keyup H\n"
                                            "dump /tmp/a b.json\n"
                                            "screenshot out.png\n"
                                            "quit\n"
                                            "exit\n",
                                            knownKey);
    ASSERT_EQ(commands.size(), 13u);
    EXPECT_EQ(commands[0].kind, Kind::Frames);
    EXPECT_EQ(commands[0].count, 3u);
    EXPECT_EQ(commands[0].line, 3);
    EXPECT_DOUBLE_EQ(commands[1].seconds, 0.25);
    EXPECT_EQ(commands[2].point, Ogre::Vector3(1.f, -2.5f, 0.3f));
    EXPECT_EQ(commands[2].buttons, 0u);
    EXPECT_EQ(commands[3].buttons, 5u);
    EXPECT_DOUBLE_EQ(commands[3].seconds, 0.5);
    EXPECT_EQ(commands[4].name, "CreateObject");
    EXPECT_TRUE(commands[4].hasArgument);
    EXPECT_EQ(commands[4].argument, "sphere big") << "inner spacing is the function's business";
    EXPECT_FALSE(commands[5].hasArgument);
    EXPECT_TRUE(commands[6].ctrl && commands[6].shift && !commands[6].alt);
    EXPECT_EQ(commands[6].name, "z");
    EXPECT_EQ(commands[9].name, "/tmp/a b.json");
    EXPECT_EQ(commands[11].kind, Kind::Quit);
    EXPECT_EQ(commands[12].kind, Kind::Exit);
}

TEST(SessionScript, ReportsTheFirstBadLine) {
    EXPECT_EQ(errorLine("frames 2\nfly away\n"), 2);
    EXPECT_EQ(errorLine("frames -1\n"), 1);
    EXPECT_EQ(errorLine("frames\n"), 1);
    EXPECT_EQ(errorLine("sleep nan\n"), 1);
    EXPECT_EQ(errorLine("stylus 1 2\n"), 1);
    EXPECT_EQ(errorLine("stylus 1 2 3 256\n"), 1);
    EXPECT_EQ(errorLine("stylus 1 2 3 1 -1\n"), 1);
    EXPECT_EQ(errorLine("stylus 1 2 inf\n"), 1);
    EXPECT_EQ(errorLine("\n\nkey ctrl+hyper\n"), 3);
    EXPECT_EQ(errorLine("invoke\n"), 1);
    EXPECT_EQ(errorLine("quit now\n"), 1);
    EXPECT_EQ(errorLine("mousestylus\nframes 1\nstylus 1 2 3\n"), 3)
        << "a script cannot both hand the stylus to the mouse and move it";
}

struct FakeHost : Kiln::IScriptHost {
    std::vector<std::string> log;
    bool settled = true;
    void moveStylus(const Ogre::Vector3& p, std::uint32_t b, double s) override {
        log.push_back("stylus " + std::to_string(int(p.x)) + " " + std::to_string(b) + " " +
                      std::to_string(s));
        settled = s <= 0;
    }
    bool isStylusSettled() override { return settled; }
    void invoke(const std::string& name, const std::string* argument) override {
        if (name == "Nope")
            throw std::runtime_error("Nope is not a function");
        log.push_back("invoke " + name + (argument ? " [" + *argument + "]" : ""));
    }
    void key(const std::string& k, bool down) override { log.push_back((down ? "+" : "-") + k); }
    void dump(const std::string& p) override { log.push_back("dump " + p); }
    void screenshot(const std::string& p) override { log.push_back("shot " + p); }
    void quit() override { log.push_back("quit"); }
    void exitNow() override { log.push_back("exit"); }
};

TEST(ScriptRunner, WaitsForFramesSecondsAndTheStylus) {
    FakeHost host;
    Kiln::ScriptRunner runner(
        Kiln::parseScript("dump a\nframes 2\ndump b\nsleep 0.1\ndump c\nstylus 1 2 3 1 0.05\ndump d\n",
                          knownKey),
        host);
    runner.onFrame(0.0);
    EXPECT_EQ(host.log, (std::vector<std::string>{"dump a"}));
    runner.onFrame(0.016);
    EXPECT_EQ(host.log.size(), 1u) << "the first of two frames";
    runner.onFrame(0.016);
    EXPECT_EQ(host.log.back(), "dump b");
    runner.onFrame(0.06);
    EXPECT_EQ(host.log.back(), "dump b");
    runner.onFrame(0.06);
    EXPECT_EQ(host.log.back(), "stylus 1 1 0.050000");
    runner.onFrame(0.06); // time is up but the device has not arrived
    EXPECT_EQ(host.log.back(), "stylus 1 1 0.050000");
    host.settled = true;
    runner.onFrame(0.016); // arrived: one more frame for the haptic update to see it
    EXPECT_EQ(host.log.back(), "stylus 1 1 0.050000");
    runner.onFrame(0.016);
    EXPECT_EQ(host.log.back(), "dump d");
    EXPECT_TRUE(runner.isFinished());
}

TEST(ScriptRunner, WaitfileHoldsUntilTheFileExists) {
    FakeHost host;
    const std::string flag = testing::TempDir() + "/morvel-waitfile-flag";
    std::remove(flag.c_str());
    Kiln::ScriptRunner runner(Kiln::parseScript("waitfile " + flag + "\ndump x\n", knownKey), host);
    runner.onFrame(0.0);
    runner.onFrame(0.5);
    EXPECT_TRUE(host.log.empty());
    std::ofstream(flag) << "go";
    runner.onFrame(0.0);
    EXPECT_EQ(host.log, (std::vector<std::string>{"dump x"}));
    std::remove(flag.c_str());
}

TEST(ScriptRunner, KeyChordsPressModifiersAroundTheKeyAndFailuresNameTheLine) {
    FakeHost host;
    Kiln::ScriptRunner chord(Kiln::parseScript("key ctrl+alt+z\n", knownKey), host);
    chord.onFrame(0.0);
    EXPECT_EQ(host.log, (std::vector<std::string>{"+ctrl", "+alt", "+z", "-z", "-alt", "-ctrl"}));

    Kiln::ScriptRunner failing(Kiln::parseScript("invoke A x\n\ninvoke Nope\ndump z\n", knownKey), host);
    try {
        failing.onFrame(0.0);
        FAIL() << "an unknown function must fail the script";
    } catch (const Kiln::ScriptError& e) {
        EXPECT_EQ(e.line, 3);
        EXPECT_STREQ(e.what(), "Nope is not a function");
    }
    EXPECT_EQ(host.log.back(), "invoke A [x]") << "nothing after the failure ran";
}

/// A host with a GUI: records the GUI commands, refuses a missing window.
struct GuiHost : FakeHost {
    void click(const std::string& w) override {
        if (w == "Gone")
            throw std::runtime_error("no window 'Gone'");
        log.push_back("click " + w);
    }
    void answer(const std::string& b) override { log.push_back("answer " + b); }
    void choose(const std::string& p) override { log.push_back("choose " + p); }
    void type(const std::string& t) override { log.push_back("type " + t); }
    void focus(const std::string& w) override { log.push_back("focus " + w); }
};

TEST(ScriptRunner, GuiCommandsReachTheInterfaceAndNeedOne) {
    const std::string text = "click Root/Object/Line\nfocus Root/TipSizeEditbox\ntype 2.5 mm\n"
                             "answer Cancel\nchoose /tmp/a file.cr8\nchoose cancel\n";
    GuiHost gui;
    Kiln::ScriptRunner runner(Kiln::parseScript(text, knownKey), gui);
    runner.onFrame(0.0);
    EXPECT_EQ(gui.log, (std::vector<std::string>{"click Root/Object/Line", "focus Root/TipSizeEditbox",
                                                 "type 2.5 mm", "answer Cancel", "choose /tmp/a file.cr8",
                                                 "choose cancel"}));
    EXPECT_EQ(errorLine("frames 1\nanswer Maybe\n"), 2);
    EXPECT_EQ(errorLine("click\n"), 1);
    EXPECT_EQ(errorLine("answer OK Cancel\n"), 1);

    GuiHost failing;
    Kiln::ScriptRunner missing(Kiln::parseScript("click A\nclick Gone\nclick B\n", knownKey), failing);
    EXPECT_THROW(missing.onFrame(0.0), Kiln::ScriptError);
    EXPECT_EQ(failing.log, (std::vector<std::string>{"click A"}));

    // Without an interface every GUI command fails with a reason.
    FakeHost headless;
    Kiln::ScriptRunner noGui(Kiln::parseScript("answer OK\n", knownKey), headless);
    try {
        noGui.onFrame(0.0);
        FAIL();
    } catch (const Kiln::ScriptError& e) {
        EXPECT_NE(std::string(e.what()).find("needs the interface"), std::string::npos);
    }
}

TEST(StatusLine, ShowsMessagesOneAfterAnotherAndFadesTheLastHalfSecond) {
    Kiln::StatusLine status;
    status.post("");
    EXPECT_EQ(status.getAlert(), "") << "empty texts are not queued";
    status.post("first", 1.0);
    status.post("second"); // default: 6 * 0.0625 + 0.5 = 0.875 s
    EXPECT_EQ(status.getAlert(), "first");
    status.update(0.75);
    EXPECT_NEAR(status.getAlertAlpha(), 0.5, 1e-9);
    status.update(0.25);
    EXPECT_EQ(status.getAlert(), "second");
    status.setPaused(true);
    status.update(5.0);
    EXPECT_EQ(status.getAlert(), "second") << "a paused queue keeps its message";
    status.setPaused(false);
    status.update(0.8);
    EXPECT_EQ(status.getAlert(), "second");
    status.update(0.1);
    EXPECT_EQ(status.getAlert(), "");
}

} // namespace
