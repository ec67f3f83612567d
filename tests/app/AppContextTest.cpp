#include "app/AppContext.h"
#include "graphics/GraphicsManager.h"

#include <gtest/gtest.h>

TEST(AppContext, EmptyingTheStateStackEndsTheProgramUnlessKeptRunning) {
    AppContext context;
    EXPECT_EQ(context.flags, APP_FLAG_SAVED);
    context.pushState();
    context.popState();
    EXPECT_FALSE(context.isEndRequested()) << "the base state is still there";

    context.keepRunning = true;
    context.popState();
    EXPECT_FALSE(context.isEndRequested());
    EXPECT_FALSE(context.keepRunning) << "keepRunning is used up";

    context.pushState();
    context.popState();
    EXPECT_TRUE(context.isEndRequested());
}

TEST(AppContext, ModalStatesKeepTheirDepthAndTheCursorBitWins) {
    AppContext context;
    context.setInteractionMode(MODE_STYLUS | MODE_HAPTIC_MOUSE);
    EXPECT_EQ(context.getInteractionMode(), std::uint32_t(MODE_STYLUS | MODE_HAPTIC_MOUSE));
    context.setInteractionMode(MODE_GUI_CURSOR | MODE_STYLUS);
    EXPECT_EQ(context.getInteractionMode(), std::uint32_t(MODE_GUI_CURSOR));

    context.beginModal();
    context.pushState();  // a dialog opened on top of the modal state
    context.beginModal();
    EXPECT_EQ(context.getModalDepth(), 2u);
    context.popState();
    EXPECT_EQ(context.getModalDepth(), 1u) << "back to the depth of the record below";
    context.endModal();
    EXPECT_EQ(context.getModalDepth(), 0u);
    context.endModal();
    EXPECT_EQ(context.getModalDepth(), 0u) << "never below zero";
}

TEST(GuardedAssignment, RefusesOnceStarted) {
    std::string layout = "a";
    Kiln::GraphicsManager::assign(layout, "DevadaGUIV2.layout", false);
    EXPECT_EQ(layout, "DevadaGUIV2.layout");
    try {
        Kiln::GraphicsManager::assign(layout, "", true);
        FAIL();
    } catch (const Kiln::Exception& e) {
        EXPECT_EQ(e.getDescription(), "Value cannot be assigned after the application has started");
        EXPECT_EQ(e.getSource(), "Kiln::GraphicsManager::assign<>()");
    }
    EXPECT_EQ(layout, "DevadaGUIV2.layout");
}
