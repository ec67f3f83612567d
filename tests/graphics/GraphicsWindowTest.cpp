// Opens the real window (under Xvfb in CI) and checks what it shows.
#include <gtest/gtest.h>

#include "config/KeyValueStore.h"
#include "graphics/GraphicsManager.h"

#include <OgreCamera.h>
#include <OgreDataStream.h>
#include <OgreImage.h>
#include <OgreRenderWindow.h>

// Xlib last: its macros (None, Bool) collide with the test framework.
#include <X11/Xlib.h>

#include <cstdio>
#include <fstream>

namespace {

std::unique_ptr<Kiln::GraphicsManager> openWindow(const std::string& extraSettings) {
    auto store = std::make_unique<Kiln::SimpleXMLKeyValueStore>(Kiln::SimpleXMLKeyValueStore::fromText(
        "<Config><Application Resolution=\"320x240\" Vsync=\"false\"/>" + extraSettings +
        "</Config>"));
    Kiln::GraphicsOptions options;
    options.dataDirectory = MORVEL_SOURCE_DATA_DIR;
    return Kiln::GraphicsManager::create(std::move(store), options);
}

struct Counter : Kiln::GraphicsListener {
    int started = 0, updates = 0, pre = 0, post = 0, ended = 0, closing = 0;
    bool allowClose = true;
    void onStartScene() override { ++started; }
    void onUpdate(const float&) override { ++updates; }
    void onPreRender() override { ++pre; }
    void onPostRender() override { ++post; }
    void onEndScene() override { ++ended; }
    bool onWindowClosing() override { ++closing; return allowClose; }
};

/// Talks to the window from outside, as a window manager or user would.
class XClient {
public:
    XClient() : display(XOpenDisplay(nullptr)) {}
    ~XClient() { if (display) XCloseDisplay(display); }
    void resize(unsigned long window, unsigned w, unsigned h) {
        XResizeWindow(display, window, w, h);
        XSync(display, False);
    }
    void askToClose(unsigned long window) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
        XSendEvent(display, window, False, NoEventMask, &event);
        XSync(display, False);
    }
    Display* display;
};

unsigned long windowId(Kiln::GraphicsManager& graphics) {
    unsigned long id = 0;
    graphics.getRenderWindow()->getCustomAttribute("WINDOW", &id);
    return id;
}

} // namespace

TEST(GraphicsWindow, ShowsTheConfiguredBackgroundAndWritesScreenshots) {
    auto graphics = openWindow("<Background Color=\"0.8 0.1 0.6\"/><Scene SaveExtension=\"png\"/>");
    EXPECT_EQ(graphics->getRenderApi(), Kiln::RENDER_API_OPENGL);
    EXPECT_EQ(graphics->getWindowWidth(), 320u);
    EXPECT_EQ(graphics->getWindowHeight(), 240u);
    EXPECT_EQ(graphics->getCameraPosition(), Ogre::Vector3(0, 5, 75));

    Counter counter;
    graphics->addListener(&counter);
    graphics->startScene();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(graphics->renderOneFrame(0.016f));
    EXPECT_EQ(counter.started, 1);
    EXPECT_EQ(counter.updates, 3);
    EXPECT_EQ(counter.pre, 3);
    EXPECT_EQ(counter.post, 3);

    const std::string base = testing::TempDir() + "graphics-window-shot";
    const std::string written = graphics->saveScreenshot(base);
    ASSERT_EQ(written, base + ".png");
    Ogre::Image image;
    std::ifstream file(written, std::ios::binary);
    ASSERT_TRUE(file.good());
    image.load(Ogre::DataStreamPtr(new Ogre::FileStreamDataStream(&file, false)), "png");
    ASSERT_EQ(image.getWidth(), 320u);
    for (const auto& [x, y] : {std::pair{5u, 5u}, std::pair{160u, 120u}, std::pair{315u, 235u}}) {
        const Ogre::ColourValue c = image.getColourAt(x, y, 0);
        EXPECT_NEAR(c.r, 0.8, 0.02) << x << "," << y;
        EXPECT_NEAR(c.g, 0.1, 0.02) << x << "," << y;
        EXPECT_NEAR(c.b, 0.6, 0.02) << x << "," << y;
    }
    std::remove(written.c_str());

    graphics.reset();
    EXPECT_EQ(counter.ended, 1) << "tear-down tells the listeners";
}

TEST(GraphicsWindow, ResizeUpdatesTheCameraAndCloseNeedsEveryListenersConsent) {
    auto graphics = openWindow("");
    Counter counter;
    graphics->addListener(&counter);
    graphics->startScene();
    ASSERT_TRUE(graphics->renderOneFrame(0.01f));

    XClient x;
    ASSERT_NE(x.display, nullptr);
    x.resize(windowId(*graphics), 400, 100);
    ASSERT_TRUE(graphics->renderOneFrame(0.01f));
    EXPECT_EQ(graphics->getWindowWidth(), 400u);
    EXPECT_EQ(graphics->getWindowHeight(), 100u);
    EXPECT_NEAR(graphics->getCamera()->getAspectRatio(), 4.0, 1e-4);

    counter.allowClose = false;
    x.askToClose(windowId(*graphics));
    EXPECT_TRUE(graphics->renderOneFrame(0.01f)) << "a listener refused: the loop goes on";
    EXPECT_EQ(counter.closing, 1);

    counter.allowClose = true;
    x.askToClose(windowId(*graphics));
    EXPECT_FALSE(graphics->renderOneFrame(0.01f));
    EXPECT_EQ(counter.closing, 2);
}

TEST(GraphicsWindow, UnknownRenderApiFallsBackToTheFirstRenderSystem) {
    auto graphics = openWindow("<Application RenderApi=\"Direct3D9\"/>");
    EXPECT_EQ(graphics->getRenderApi(), Kiln::RENDER_API_OPENGL);
}
