// The stylus tip drawn in a real window: where the manager puts it, as wide
// as the proxy, in the tool's colour.
#include "SceneWindow.h"

#include "graphics/OgreStylusView.h"
#include "haptics/HapticStylus.h"

#include <OgreEntity.h>
#include <OgrePass.h>
#include <OgreTechnique.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>

#include <gtest/gtest.h>

using namespace testing_graphics;

TEST(OgreStylusView, TheTipShowsWhereTheStylusIsAsWideAsTheProxyInItsColour) {
    SceneWindow window;
    Ogre::SceneManager& sceneManager = *window.graphics->getSceneManager();
    // No tip model and no material among the resources: both are made here.
    Kiln::OgreStylusView view(sceneManager, "noSuchTip.mesh", "stylusMaterialForTest");
    ASSERT_TRUE(sceneManager.hasSceneNode("Stylus_Node"));
    ASSERT_TRUE(sceneManager.hasEntity("Stylus_Entity"));
    ASSERT_TRUE(view.getMaterial());

    Kiln::HapticStylus stylus(&view);
    stylus.setRadius(4.f);
    stylus.setColour(Ogre::ColourValue::Red);
    stylus.setPosition({10, 0, 0});
    EXPECT_EQ(view.getNode()->getPosition(), Ogre::Vector3(10, 0, 0));
    view.getNode()->_update(true, false);
    const Ogre::AxisAlignedBox box = view.getEntity()->getWorldBoundingBox(true);
    EXPECT_NEAR(box.getSize().x, 8.f, 0.05f);

    Ogre::Image image = window.frame();
    const Ogre::ColourValue red = Ogre::ColourValue::Red;
    EXPECT_TRUE(near(image.getColourAt(unsigned(window.project({10, 0, 0}).x),
                                       unsigned(window.project({10, 0, 0}).y), 0),
                     red, 0.35f));
    const PixelRect extent = pixelExtent(image, red, 0.35f);
    EXPECT_NEAR(extent.x1 - extent.x0, window.project({14, 0, 0}).x - window.project({6, 0, 0}).x, 6);

    stylus.setColour(Ogre::ColourValue::Green);
    stylus.setVisible(false);
    EXPECT_EQ(countPixels(window.frame(), red, 0.35f), 0);
    stylus.setVisible(true);
    Ogre::Image again = window.frame();
    EXPECT_GT(countPixels(again, Ogre::ColourValue::Green, 0.35f), 500);
    EXPECT_EQ(countPixels(again, red, 0.35f), 0);
    EXPECT_EQ(view.getMaterial()->getTechnique(0)->getPass(0)->getDiffuse(), Ogre::ColourValue::White)
        << "the named material stays as it was";
}
