#include "input/InputManager.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct KeyLog : OIS::KeyListener {
    std::vector<std::pair<bool, OIS::KeyCode>> events;
    Kiln::InputManager* manager = nullptr;
    bool shiftOnlyAtPress = false;
    bool keyPressed(const OIS::KeyEvent& e) override {
        events.push_back({true, e.key});
        shiftOnlyAtPress = manager && manager->isOnlyShiftDown();
        return true;
    }
    bool keyReleased(const OIS::KeyEvent& e) override {
        events.push_back({false, e.key});
        return true;
    }
};

TEST(InputManager, InjectedKeysReachListenersAndCountAsHeld) {
    Kiln::InputManager input; // no devices: as with a script on a machine without a keyboard
    KeyLog log;
    log.manager = &input;
    input.addKeyListener(&log, "log");
    input.injectKeyPressed(OIS::KC_LSHIFT);
    input.injectKeyPressed(OIS::KC_X);
    EXPECT_TRUE(log.shiftOnlyAtPress);
    EXPECT_TRUE(input.isKeyDown(OIS::KC_X));
    input.injectKeyPressed(OIS::KC_RCONTROL);
    EXPECT_FALSE(input.isOnlyShiftDown()) << "shift with control is not shift alone";
    input.injectKeyReleased(OIS::KC_X);
    EXPECT_FALSE(input.isKeyDown(OIS::KC_X));
    ASSERT_EQ(log.events.size(), 4u);
    EXPECT_EQ(log.events[3], std::make_pair(false, OIS::KC_X));
}

TEST(InputManager, RemovedListenerHearsNothingMore) {
    Kiln::InputManager input;
    KeyLog log;
    input.addKeyListener(&log, "log");
    input.removeKeyListener("log");
    input.injectKeyPressed(OIS::KC_A);
    EXPECT_TRUE(log.events.empty());
}

TEST(InputManager, KeyNamesCoverScriptKeysInAnyCase) {
    EXPECT_EQ(Kiln::keyCodeFromName("H"), OIS::KC_H);
    EXPECT_EQ(Kiln::keyCodeFromName("h"), OIS::KC_H);
    EXPECT_EQ(Kiln::keyCodeFromName("PageDown"), OIS::KC_PGDOWN);
    EXPECT_EQ(Kiln::keyCodeFromName("f12"), OIS::KC_F12);
    EXPECT_EQ(Kiln::keyCodeFromName("7"), OIS::KC_7);
    EXPECT_EQ(Kiln::keyCodeFromName("Hyper"), OIS::KC_UNASSIGNED);
}

} // namespace
