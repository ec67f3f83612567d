// The grip navigation's cube forces: a dead zone, a spring beyond it, and no
// jolt for a hand that starts outside.
#include "app/GripNavigation.h"

#include <gtest/gtest.h>

using Kiln::CubeForces;

TEST(CubeForcesTest, PanSpringBeyondTheDeadZoneOnlyOnceArmed) {
    bool armed = false;
    Ogre::Vector3 velocity(9.f);
    // Starting 12 units out: nothing until the hand has been inside.
    EXPECT_EQ(CubeForces::pan(Ogre::Vector3(12.f, 0.f, 0.f), armed, velocity), Ogre::Vector3::ZERO);
    EXPECT_FALSE(armed);
    EXPECT_EQ(velocity, Ogre::Vector3::ZERO);
    EXPECT_EQ(CubeForces::pan(Ogre::Vector3(5.f, 0.f, 0.f), armed, velocity), Ogre::Vector3::ZERO);
    EXPECT_TRUE(armed);
    const Ogre::Vector3 force = CubeForces::pan(Ogre::Vector3(12.f, 0.f, 0.f), armed, velocity);
    EXPECT_FLOAT_EQ(force.x, -2.4f);
    EXPECT_FLOAT_EQ(velocity.x, -48.f);
}

TEST(CubeForcesTest, OrbitPullsEachAxisGroupOnItsOwn) {
    bool armed = false;
    Ogre::Vector3 velocity;
    // Inside the slab in Z arms it even with X-Y outside.
    const Ogre::Vector3 first = CubeForces::orbit(Ogre::Vector3(12.f, 0.f, 0.f), armed, velocity);
    EXPECT_TRUE(armed);
    EXPECT_FLOAT_EQ(first.x, -2.4f);
    EXPECT_FLOAT_EQ(first.z, 0.f);
    const Ogre::Vector3 deep = CubeForces::orbit(Ogre::Vector3(0.f, 0.f, -13.f), armed, velocity);
    EXPECT_FLOAT_EQ(deep.z, 3.9f);
    EXPECT_FLOAT_EQ(deep.x, 0.f);
    EXPECT_FLOAT_EQ(velocity.z, 78.f);
}
