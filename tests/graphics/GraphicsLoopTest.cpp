// The frame loop's listener rules, on a manager whose engine parts are
// stand-ins: no window or render system is needed.
#include "graphics/GraphicsManager.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace Kiln;

namespace {

class LoopOnlyManager : public GraphicsManager {
public:
    bool engineFrameSucceeds = true;
    bool closeRequested = false;
    int engineFrames = 0;

    unsigned long takeFrameMicroseconds() override { return 0; }
    Ogre::Root* getRoot() const override { return nullptr; }
    Ogre::RenderWindow* getRenderWindow() const override { return nullptr; }
    TextRenderer& getTextRenderer() override { throw std::logic_error("no text renderer in the loop test"); }
    ConfigReader& getSettings() override { throw std::logic_error("no settings in the loop test"); }

protected:
    void pumpWindowEvents() override {
        if (closeRequested)
            notifyWindowClosing();
    }
    bool renderEngineFrame(float) override {
        ++engineFrames;
        return engineFrameSucceeds;
    }
    void updateViewport() override {}
    void carryCameraAndLights(Ogre::SceneNode&) override {}
};

struct CountingListener : GraphicsListener {
    std::string calls;
    void onUpdate(const float&) override { calls += 'u'; }
    void onPreRender() override { calls += '<'; }
    void onPostRender() override { calls += '>'; }
};

} // namespace

TEST(GraphicsLoop, ListenersCanBeSilencedAndAClosingWindowWakesThem) {
    LoopOnlyManager manager;
    CountingListener listener;
    manager.addListener(&listener);
    EXPECT_TRUE(manager.areListenersNotified());
    EXPECT_TRUE(manager.renderOneFrame(0.01f));
    EXPECT_EQ("u<>", listener.calls);

    manager.setListenersNotified(false);
    EXPECT_TRUE(manager.renderOneFrame(0.01f));
    EXPECT_EQ("u<>", listener.calls) << "a silenced frame calls no listener";
    EXPECT_EQ(2, manager.engineFrames) << "a silenced frame still renders";

    // Closing is allowed by the listener (default answer): the loop stops
    // and the listeners hear the update of that last frame.
    manager.closeRequested = true;
    EXPECT_FALSE(manager.renderOneFrame(0.01f));
    EXPECT_TRUE(manager.areListenersNotified());
    EXPECT_EQ("u<>u", listener.calls);
    EXPECT_EQ(2, manager.engineFrames);
}

TEST(GraphicsLoop, AFailedEngineFrameStopsTheLoop) {
    LoopOnlyManager manager;
    manager.engineFrameSucceeds = false;
    EXPECT_FALSE(manager.renderOneFrame(0.01f));
    EXPECT_TRUE(manager.isStopRequested());
}
