// The manager turns each frame's device state into listener events and
// touch calls on presenters, and survives a device that goes away.
#include "HapticSceneSupport.h"

#include "hapticdevice/HapticsDeviceSimulated.h"
#include "log/Exception.h"

#include <gtest/gtest.h>

#include <functional>

using namespace Kiln;
using HapticTest::CubeScene;

namespace {

struct Call {
    std::string listener;
    std::string event;
    ButtonMask mask;
};

class Listener : public IHapticListener {
public:
    Listener(std::string name_, std::vector<Call>& log_, bool passOn_ = true)
        : name(std::move(name_)), log(log_), passOn(passOn_) {}
    bool hapticMoved(const HapticEvent&) override { return record("moved", 0); }
    bool hapticButtonPressed(const HapticEvent&, const ButtonMask& m) override {
        return record("pressed", m);
    }
    bool hapticButtonReleased(const HapticEvent&, const ButtonMask& m) override {
        return record("released", m);
    }
    std::function<void()> onEvent;

private:
    bool record(const char* event, ButtonMask mask) {
        log.push_back({name, event, mask});
        if (onEvent)
            onEvent();
        return passOn;
    }
    std::string name;
    std::vector<Call>& log;
    bool passOn;
};

int countOf(const std::vector<Call>& log, const std::string& listener, const std::string& event) {
    int n = 0;
    for (const Call& c : log)
        n += c.listener == listener && c.event == event;
    return n;
}

} // namespace

TEST(HapticEvent, TestButtonReadsBitsAndRefusesIdsAboveSeven) {
    EXPECT_TRUE(HapticEvent::testButton(0b1010, 1));
    EXPECT_FALSE(HapticEvent::testButton(0b1010, 2));
    EXPECT_TRUE(HapticEvent::testButton(0x80, 7));
    try {
        HapticEvent::testButton(0xFF, 8);
        FAIL() << "button 8 must be refused";
    } catch (const Exception& e) {
        EXPECT_EQ(e.getCode(), 3);
        EXPECT_EQ(e.getDescription(), "Invalid button ID");
    }
}

// A consumed event stops at the listener that consumed it, yet the stylus
// still follows the proxy.
TEST(HapticManager, DispatchGoesInOrderUntilConsumedAndTheStylusAlwaysMoves) {
    CubeScene scene;
    std::vector<Call> log;
    Listener first("first", log), consumer("consumer", log, false), last("last", log);
    scene.manager.addListener(&first);
    scene.manager.addListener(&consumer);
    scene.manager.addListener(&last);
    scene.manager.addListener(&first); // once only
    scene.holdAt({0, 10, 0}, 1);
    scene.device.buttons = 1;
    scene.manager.update(16.f);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].listener, "first");
    EXPECT_EQ(log[1].listener, "consumer");
    EXPECT_EQ(log[2].event, "pressed");
    EXPECT_EQ(log[2].listener, "first");
    EXPECT_EQ(countOf(log, "last", "moved") + countOf(log, "last", "pressed"), 0);
    const Ogre::Vector3 proxy = scene.manager.getState().proxyPosition;
    EXPECT_EQ(proxy, Ogre::Vector3(0, 10, 0));
    EXPECT_EQ(scene.manager.getStylus().getBasePosition(), proxy);
    ASSERT_FALSE(scene.view.positions.empty());
    EXPECT_EQ(scene.view.positions.back(), proxy);
}

TEST(HapticManager, ButtonsOfOneFrameGoOutAsOneMaskPressesBeforeReleases) {
    CubeScene scene;
    std::vector<Call> log;
    Listener listener("l", log);
    scene.manager.addListener(&listener);
    scene.device.buttons = 0b0101;
    scene.manager.update(16.f);
    ASSERT_EQ(countOf(log, "l", "pressed"), 1);
    EXPECT_EQ(log.back().mask, 0b0101u);
    log.clear();
    scene.device.buttons = 0b0110; // 1 goes down, 0 goes up
    scene.manager.update(16.f);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].event, "pressed");
    EXPECT_EQ(log[0].mask, 0b0010u);
    EXPECT_EQ(log[1].event, "released");
    EXPECT_EQ(log[1].mask, 0b0001u);
}

TEST(HapticManager, TinyMovesSendNoMovedEventButAnActiveObjectChangeDoes) {
    CubeScene scene;
    std::vector<Call> log;
    Listener listener("l", log);
    scene.manager.addListener(&listener);
    scene.device.devicePosition = {1, 2, 3};
    scene.manager.update(16.f);
    EXPECT_EQ(countOf(log, "l", "moved"), 1);
    scene.device.devicePosition = {1.f + 5e-6f, 2, 3};
    scene.manager.update(16.f);
    EXPECT_EQ(countOf(log, "l", "moved"), 1) << "a move below 1e-5 device units is no move";
    scene.device.devicePosition = {1.f + 5e-5f, 2, 3};
    scene.manager.update(16.f);
    EXPECT_EQ(countOf(log, "l", "moved"), 2);

    scene.root->setPosition({4, 5, 6});
    scene.manager.setActiveObject(scene.root->getHandle());
    EXPECT_TRUE(HapticsPresenterBase::of(*scene.root)->isActive());
    scene.manager.update(16.f);
    EXPECT_EQ(countOf(log, "l", "moved"), 3) << "the device frame moved with the active object";
    EXPECT_EQ(scene.device.transforms, 1);
    EXPECT_EQ(scene.device.transformPosition, Ogre::Vector3(4, 5, 6));
    EXPECT_EQ(scene.device.transformOffset, Ogre::Vector3(0, 0, -50));
    scene.manager.update(16.f);
    EXPECT_EQ(countOf(log, "l", "moved"), 3);
    // Moving the active root moves the device frame again.
    scene.root->setPosition({7, 5, 6});
    scene.manager.update(16.f);
    EXPECT_EQ(scene.device.transforms, 2);
    EXPECT_EQ(countOf(log, "l", "moved"), 4);
}

TEST(HapticManager, ListenersMayLeaveDuringDispatch) {
    CubeScene scene;
    std::vector<Call> log;
    auto second = std::make_unique<Listener>("second", log);
    Listener first("first", log), third("third", log);
    first.onEvent = [&] {
        scene.manager.removeListener(second.get());
        second.reset();
        scene.manager.removeListener(&first);
    };
    scene.manager.addListener(&first);
    scene.manager.addListener(second.get());
    scene.manager.addListener(&third);
    scene.device.buttons = 1;
    scene.manager.update(16.f);
    EXPECT_EQ(countOf(log, "first", "moved"), 1);
    EXPECT_EQ(countOf(log, "second", "moved"), 0);
    EXPECT_EQ(countOf(log, "third", "moved"), 1);
    EXPECT_EQ(countOf(log, "first", "pressed"), 0);
    EXPECT_EQ(countOf(log, "third", "pressed"), 1);
}

// Pressing the proxy onto the cube's top face: begin, continue while the
// press lasts, end when the proxy lifts off.
TEST(HapticManager, TouchBeginsContinuesAndEnds) {
    CubeScene scene;
    HapticsPresenter& presenter = scene.presenter();
    ASSERT_TRUE(presenter.getShape());
    EXPECT_TRUE(scene.manager.getRenderer()->containsShape(presenter.getShape()));
    scene.holdAt({0, 6, 0});
    scene.manager.update(16.f);
    EXPECT_TRUE(scene.manager.getTouchedObjects().empty());
    scene.holdAt({0, 2, 0});
    scene.manager.update(2500.f);
    ASSERT_EQ(scene.manager.getTouchedObjects().size(), 1u);
    EXPECT_EQ(scene.manager.getTouchedObjects()[0].get(), scene.cube);
    ASSERT_NE(presenter.getDeformation(), nullptr);
    const TouchInfo& info = presenter.getLastTouch();
    EXPECT_FLOAT_EQ(info.seconds, 1.f) << "frame time is capped at a second";
    EXPECT_FLOAT_EQ(info.proxyRadius, 0.5f);
    EXPECT_NEAR(info.proxyPosition.y, 3.5f, 1e-3f);
    EXPECT_NEAR(info.contactPoint.y, 3.f, 1e-3f);
    EXPECT_LT(info.force.y, 0.f) << "the proxy pushes the cube down";
    EXPECT_LT(info.deformation.y, 0.f);
    const auto worker = scene.cube->getParameterValue<VertexListWorker*>("deformation");
    ASSERT_TRUE(worker.has_value());
    EXPECT_EQ(*worker, presenter.getDeformation());
    const HapticDeformation* dent = presenter.getDeformation();
    scene.holdAt({0, 2.1f, 0}, 5);
    scene.manager.update(16.f);
    EXPECT_EQ(presenter.getDeformation(), dent) << "a continued touch keeps its worker";

    scene.holdAt({0, 8, 0});
    scene.manager.update(16.f);
    EXPECT_TRUE(scene.manager.getTouchedObjects().empty());
    EXPECT_EQ(presenter.getDeformation(), nullptr);
    EXPECT_EQ(*scene.cube->getParameterValue<VertexListWorker*>("deformation"), nullptr);
    EXPECT_EQ(scene.manager.getStylus().getDisplayPosition(),
              scene.manager.getStylus().getBasePosition());
}

TEST(HapticManager, SwitchingHapticsOffEndsTouchesOnce) {
    CubeScene scene;
    scene.holdAt({0, 6, 0});
    scene.holdAt({0, 2, 0});
    scene.manager.update(16.f);
    ASSERT_EQ(scene.manager.getTouchedObjects().size(), 1u);
    const int redrawsBefore = scene.redraws;
    scene.manager.setHapticsEnabled(false);
    EXPECT_FALSE(scene.manager.getRenderer()->isEnabled());
    EXPECT_TRUE(scene.manager.getTouchedObjects().empty());
    EXPECT_EQ(scene.presenter().getDeformation(), nullptr);
    EXPECT_EQ(scene.redraws, redrawsBefore + 1);
    scene.manager.setHapticsEnabled(false);
    scene.manager.update(16.f);
    EXPECT_EQ(scene.redraws, redrawsBefore + 1) << "no second touch end, no touch while off";
    scene.manager.setHapticsEnabled(true);
    EXPECT_TRUE(scene.manager.getRenderer()->isEnabled());
}

TEST(HapticManager, ALostDeviceGivesANoticeAndHapticsComeBackOnReactivate) {
    CubeScene scene;
    std::vector<std::string> notices;
    scene.manager.setNoticeSink([&](const std::string& text) { notices.push_back(text); });
    scene.holdAt({0, 6, 0});
    scene.holdAt({0, 2, 0});
    scene.manager.update(16.f);
    ASSERT_EQ(scene.manager.getTouchedObjects().size(), 1u);
    std::vector<Call> log;
    Listener listener("l", log);
    scene.manager.addListener(&listener);

    scene.device.connected = false;
    scene.device.buttons = 1;
    EXPECT_NO_THROW(scene.manager.update(16.f));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], "The application has lost connection to the device.");
    EXPECT_FALSE(scene.manager.isHapticsEnabled());
    EXPECT_TRUE(scene.manager.isDeviceLost());
    EXPECT_TRUE(scene.manager.getTouchedObjects().empty());
    EXPECT_EQ(scene.presenter().getDeformation(), nullptr);
    EXPECT_TRUE(log.empty()) << "nothing of a lost device's state is passed on";
    EXPECT_NO_THROW(scene.manager.update(16.f));
    EXPECT_EQ(notices.size(), 1u) << "one notice per loss";

    scene.device.activates = false;
    EXPECT_FALSE(scene.manager.reactivate());
    EXPECT_EQ(notices.back(),
              "Another application failed to give control of the Touch Controller to this "
              "application.");
    scene.device.connected = true;
    scene.device.activates = true;
    EXPECT_TRUE(scene.manager.reactivate());
    EXPECT_TRUE(scene.manager.isHapticsEnabled());
    EXPECT_TRUE(scene.manager.getRenderer()->isEnabled());
    scene.manager.update(16.f);
    EXPECT_EQ(countOf(log, "l", "pressed"), 1);
}

TEST(HapticManager, ADeviceThatRefusesAtStartLeavesHapticsOffWithANotice) {
    HapticTest::FakeDevice::Controls controls;
    controls.activates = false;
    HapticManager manager;
    std::vector<std::string> notices;
    manager.setNoticeSink([&](const std::string& text) { notices.push_back(text); });
    ConfigReader reader = HapticTest::settings();
    EXPECT_NO_THROW(manager.initialise(reader, std::make_unique<HapticTest::FakeDevice>(controls),
                                       nullptr));
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_FALSE(manager.isHapticsEnabled());
    EXPECT_FALSE(manager.getRenderer()->isEnabled());
    EXPECT_NO_THROW(manager.update(16.f));
    EXPECT_FLOAT_EQ(static_cast<float>(manager.getRenderer()->getProxyRadius()), 1.f);
    EXPECT_FLOAT_EQ(manager.getWorldScale(), 0.005f);
    EXPECT_EQ(controls.effects.size(), 1u) << "gravity compensation";
    Ogre::Vector3 force;
    controls.effects[0]->computeForce(force, *manager.getDevice());
    EXPECT_EQ(force, Ogre::Vector3(0, 0.7f, 0));
    controls.activates = true;
    EXPECT_TRUE(manager.reactivate());
    EXPECT_TRUE(manager.isHapticsEnabled());
}

TEST(HapticManager, AWorldScaleThatIsNoScaleFallsBackToTheDefault) {
    HapticTest::FakeDevice::Controls controls;
    HapticManager manager;
    ConfigReader reader = HapticTest::settings("<Haptic DeviceWorldScale=\"0\"/>");
    EXPECT_NO_THROW(manager.initialise(reader, std::make_unique<HapticTest::FakeDevice>(controls),
                                       nullptr));
    EXPECT_FLOAT_EQ(manager.getWorldScale(), 0.005f);
}

TEST(HapticManager, StylusRadiusMustBePositive) {
    for (const char* xml : {"<Haptic StylusRadius=\"0\"/>", "<Haptic StylusRadius=\"-1\"/>"}) {
        HapticTest::FakeDevice::Controls controls;
        HapticManager manager;
        ConfigReader reader = HapticTest::settings(xml);
        EXPECT_THROW(manager.initialise(reader, std::make_unique<HapticTest::FakeDevice>(controls),
                                        nullptr),
                     Exception)
            << xml;
    }
}

TEST(HapticManager, ScenePresenterSlotsJoinAndLeaveObjects) {
    CubeScene scene;
    HapticsPresenter& presenter = scene.presenter();
    EXPECT_EQ(presenter.getManager(), &scene.manager) << "children follow the root";
    const auto shape = presenter.getShape();
    scene.holdAt({0, 6, 0});
    scene.holdAt({0, 2, 0});
    scene.manager.update(16.f);
    ASSERT_EQ(scene.manager.getTouchedObjects().size(), 1u);
    scene.manager.objectRemoved(scene.root->getHandle());
    EXPECT_EQ(presenter.getManager(), nullptr);
    EXPECT_EQ(HapticsPresenterBase::of(*scene.root)->getManager(), nullptr);
    EXPECT_FALSE(scene.manager.getRenderer()->containsShape(shape));
    EXPECT_TRUE(scene.manager.getTouchedObjects().empty());
    EXPECT_EQ(presenter.getDeformation(), nullptr);
    scene.manager.update(16.f); // stale contacts of the removed shape are ignored
    EXPECT_TRUE(scene.manager.getTouchedObjects().empty());

    // A node moved under a root of the manager joins it.
    scene.manager.objectAdded(scene.root->getHandle());
    std::unique_ptr<ObjectGroup> other = std::make_unique<ObjectGroup>();
    other->setPresenter("haptics", std::make_unique<HapticsPresenterBase>());
    auto object = std::make_unique<Object>();
    object->setMesh(MeshEditor::createNewDynamicMesh(2, Ogre::ColourValue::White));
    object->setPresenter("haptics", std::make_unique<HapticsPresenter>());
    Object* sphere = other->adoptChild(std::move(object));
    EXPECT_EQ(HapticsPresenter::of(*sphere)->getManager(), nullptr);
    scene.root->addChild(other);
    EXPECT_EQ(HapticsPresenter::of(*sphere)->getManager(), &scene.manager);
    EXPECT_TRUE(scene.manager.getRenderer()->containsShape(HapticsPresenter::of(*sphere)->getShape()));
}

TEST(HapticManager, SideSettingReachesEveryObjectBelowAGroup) {
    CubeScene scene;
    scene.manager.setHapticSideRecursive(*scene.root, TouchSideBoth);
    EXPECT_EQ(scene.manager.getSideSetting(), TouchSideBoth);
    EXPECT_EQ(scene.presenter().getSide(), TouchSideBoth);
    EXPECT_EQ(scene.presenter().getShape()->getSide(), HapticSideBoth);
    scene.manager.setHapticSideRecursive(*scene.root, TouchSideInner);
    EXPECT_EQ(scene.presenter().getShape()->getSide(), HapticSideInner);
    scene.manager.setHapticSideRecursive(*scene.root, TouchSideOuter);
    EXPECT_EQ(scene.presenter().getShape()->getSide(), HapticSideOuter);
}

TEST(HapticStylus, RemembersWithoutAViewAndSinksByTheMeanOffset) {
    HapticStylus stylus(nullptr);
    stylus.setColour(Ogre::ColourValue(1.f, 0.8f, 0.8f, 1.f));
    EXPECT_EQ(stylus.getColour(), Ogre::ColourValue(1.f, 0.8f, 0.8f, 1.f));
    stylus.setRadius(-1.f);
    EXPECT_FLOAT_EQ(stylus.getRadius(), 1.f);
    stylus.setOffset(1, {0, -2, 0});
    stylus.setOffset(2, {0, 0, -4});
    stylus.setPosition({1, 1, 1});
    EXPECT_EQ(stylus.getDisplayPosition(), Ogre::Vector3(1, 0, -1));
    stylus.removeOffset(1);
    stylus.removeOffset(2);
    stylus.setPosition({1, 1, 1});
    EXPECT_EQ(stylus.getDisplayPosition(), Ogre::Vector3(1, 1, 1));

    HapticState state;
    state.position = {5, 5, 5};
    state.proxyPosition = {std::nanf(""), 0, 0};
    EXPECT_TRUE(stylus.hapticMoved(HapticEvent(&state, nullptr)));
    EXPECT_EQ(stylus.getBasePosition(), Ogre::Vector3(5, 5, 5)) << "a NaN proxy never shows";
}

// The haptic thread ticks the renderer while the main thread runs frames
// and replaces the touched shape every frame, as a sculpting session does.
TEST(HapticManagerThreads, FramesAndShapeSwapsBesideTheHapticThread) {
    HapticManager manager;
    ConfigReader reader = HapticTest::settings("<Haptic DeviceWorldScale=\"1\" StylusRadius=\"0.3\"/>");
    auto owned = std::make_unique<HapticsDeviceSimulated>();
    HapticsDeviceSimulated* device = owned.get();
    device->setTarget({0, 5, 0});
    manager.initialise(reader, std::move(owned), nullptr);
    auto root = std::make_unique<ObjectGroup>();
    root->setPresenter("haptics", std::make_unique<HapticsPresenterBase>());
    auto object = std::make_unique<Object>();
    object->setMesh(MeshEditor::createNewDynamicMesh(2, Ogre::ColourValue::White));
    object->setPresenter("haptics", std::make_unique<HapticsPresenter>());
    Object* sphere = root->adoptChild(std::move(object));
    manager.objectAdded(root->getHandle());
    HapticsPresenter& presenter = *HapticsPresenter::of(*sphere);
    int touchedFrames = 0;
    for (int frame = 0; frame < 150; ++frame) {
        device->setTarget({0.f, 5.f - frame * 0.05f, 0.f});
        manager.update(2.f);
        touchedFrames += !manager.getTouchedObjects().empty();
        if (HapticDeformation* dent = presenter.getDeformation())
            sphere->getMesh()->applyVertexWorker(*dent);
        presenter.onMeshChanged();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_GT(touchedFrames, 0);
    EXPECT_FALSE(presenter.getLastShapeUpdate().rebuilt);
}

// Objects deleted while touched leave the manager's lists; a manager that
// goes before the scene leaves no presenter pointing at it.
TEST(HapticManager, NodesAndTheManagerMayGoInEitherOrder) {
    CubeScene scene;
    scene.holdAt({0, 6, 0});
    scene.holdAt({0, 2, 0});
    scene.manager.update(16.f);
    ASSERT_EQ(scene.manager.getTouchedObjects().size(), 1u);
    const std::weak_ptr<IndexedShape> shape = scene.presenter().getShape();
    std::unique_ptr<ObjectGroup> removed;
    scene.root->removeChild(removed, scene.cube);
    removed.reset();
    EXPECT_TRUE(scene.manager.getTouchedObjects().empty());
    EXPECT_FALSE(scene.manager.getRenderer()->containsShape(shape.lock()));
    scene.manager.update(16.f);
    EXPECT_TRUE(scene.manager.getTouchedObjects().empty());

    HapticTest::FakeDevice::Controls controls;
    auto manager = std::make_unique<HapticManager>();
    ConfigReader reader = HapticTest::settings();
    manager->initialise(reader, std::make_unique<HapticTest::FakeDevice>(controls), nullptr);
    auto root = std::make_unique<ObjectGroup>();
    root->setPresenter("haptics", std::make_unique<HapticsPresenterBase>());
    auto object = std::make_unique<Object>();
    object->setMesh(MeshEditor::createNewDynamicMesh(1, Ogre::ColourValue::White));
    object->setPresenter("haptics", std::make_unique<HapticsPresenter>());
    Object* cube = root->adoptChild(std::move(object));
    manager->objectAdded(root->getHandle());
    manager->setActiveObject(root->getHandle());
    manager.reset();
    EXPECT_EQ(HapticsPresenterBase::of(*root)->getManager(), nullptr);
    EXPECT_EQ(HapticsPresenter::of(*cube)->getManager(), nullptr);
    root->setPosition({1, 2, 3}); // would mark a dead manager dirty
    cube->getMesh()->setVertices(cube->getMesh()->getVertices());
    cube->setVisible(false);
}
