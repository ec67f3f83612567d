// Moving the view: orbits keep the distance, zoom never passes the centre,
// pans carry the centre along, the keyboard moves need no modifier, and L
// locks the centre.
#include "app/MouseNavigation.h"

#include "input/InputManager.h"
#include "scene/ObjectGroup.h"

#include <gtest/gtest.h>

#include <set>

namespace {

struct HeldKeys : Kiln::IKeyState {
    bool isKeyDown(OIS::KeyCode key) const override { return held.count(key) != 0; }
    std::set<OIS::KeyCode> held;
};

class MouseNavigationTest : public ::testing::Test {
protected:
    MouseNavigationTest()
        : navigation(placed(viewRoot), nullptr, keys, [this](const std::string& t) { posted.push_back(t); }) {}
    /// Where the program starts the camera.
    static Kiln::ObjectGroup& placed(Kiln::ObjectGroup& root) {
        root.setPosition(Ogre::Vector3(0.f, 5.f, 75.f));
        return root;
    }
    static OIS::KeyEvent key(OIS::KeyCode code) { return OIS::KeyEvent(nullptr, code, 0); }

    Kiln::ObjectGroup viewRoot;
    HeldKeys keys;
    std::vector<std::string> posted;
    Kiln::MouseNavigation navigation;
};

TEST_F(MouseNavigationTest, OrbitKeepsTheDistanceAndResetReturns) {
    const float distance = navigation.getDistance();
    navigation.orbit(120.f, 40.f);
    EXPECT_NEAR(navigation.getDistance(), distance, 1e-3f);
    EXPECT_GT(std::abs(viewRoot.getPosition().x), 1.f);
    // Still looking at the centre: the camera's -Z points at it.
    const Ogre::Vector3 forward = viewRoot.getOrientation() * Ogre::Vector3::NEGATIVE_UNIT_Z;
    const Ogre::Vector3 toCentre = (navigation.getRotationCentre() - viewRoot.getPosition()).normalisedCopy();
    EXPECT_NEAR(forward.dotProduct(toCentre), 1.f, 1e-4f);
    navigation.reset();
    EXPECT_TRUE(viewRoot.getPosition().positionEquals(Ogre::Vector3(0.f, 5.f, 75.f)));
}

TEST_F(MouseNavigationTest, ZoomComesCloseButNeverThrough) {
    const float distance = navigation.getDistance();
    navigation.zoom(1.f);
    EXPECT_NEAR(navigation.getDistance(), distance * Kiln::MouseNavigation::zoomStep, 1e-3f);
    navigation.zoom(200.f);
    EXPECT_FLOAT_EQ(navigation.getDistance(), Kiln::MouseNavigation::minimumDistance);
    navigation.zoom(-3.f);
    EXPECT_GT(navigation.getDistance(), Kiln::MouseNavigation::minimumDistance);
    navigation.moveAway(-1000.f);
    EXPECT_FLOAT_EQ(navigation.getDistance(), Kiln::MouseNavigation::minimumDistance);
}

TEST_F(MouseNavigationTest, PanCarriesTheCentreAndDisabledNavigationStays) {
    const float distance = navigation.getDistance();
    navigation.pan(100.f, 0.f);
    EXPECT_LT(viewRoot.getPosition().x, 0.f); // the scene follows the pointer to the right
    EXPECT_NEAR(navigation.getDistance(), distance, 1e-3f);
    EXPECT_FLOAT_EQ(navigation.getRotationCentre().x, viewRoot.getPosition().x);
    navigation.setEnabled(false);
    const Ogre::Vector3 before = viewRoot.getPosition();
    navigation.orbit(50.f, 50.f);
    navigation.zoom(2.f);
    navigation.pan(10.f, 10.f);
    EXPECT_TRUE(viewRoot.getPosition().positionEquals(before));
}

TEST_F(MouseNavigationTest, KeyboardMovesNeedNoModifierAndLTogglesTheLock) {
    keys.held = {OIS::KC_RIGHT};
    navigation.step(0.5f);
    EXPECT_NEAR(viewRoot.getPosition().x, 10.f, 1e-4f);
    keys.held = {OIS::KC_HOME, OIS::KC_LSHIFT};
    navigation.step(0.5f);
    EXPECT_NEAR(viewRoot.getPosition().z, 75.f, 1e-4f);
    keys.held = {OIS::KC_HOME};
    navigation.step(0.5f);
    EXPECT_NEAR(viewRoot.getPosition().z, 65.f, 1e-4f);

    navigation.keyPressed(key(OIS::KC_L));
    EXPECT_FALSE(navigation.isCentreUnlocked());
    navigation.keyPressed(key(OIS::KC_L));
    EXPECT_EQ(posted, (std::vector<std::string>{"World rotation centre point is now locked.",
                                                "World rotation centre point is now unlocked."}));
}

} // namespace
