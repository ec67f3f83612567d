#include "HapticTestSupport.h"

#include "haptics/RuspiniRenderer.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Kiln;
using HapticTest::makeSquare;
using HapticTest::sampleAt;

namespace {

constexpr double gain = 800.0;

// Runs `ticks` ticks with the device held at `device`; returns the last force.
Vec3d hold(RuspiniRenderer& renderer, const Vec3d& device, int ticks,
           const Vec3d& velocity = {}) {
    Vec3d force;
    for (int i = 0; i < ticks; ++i)
        force = renderer.tick(sampleAt(device, velocity), gain);
    return force;
}

// Enables the renderer and starts its proxy at `start`.
void startAt(RuspiniRenderer& renderer, const Vec3d& start) {
    renderer.enable();
    renderer.tick(sampleAt(start), gain);
}

} // namespace

TEST(RuspiniRenderer, FreeProxyApproachesTheDeviceByFivePercentPerTick) {
    RuspiniRenderer renderer(0.5);
    startAt(renderer, {0, 0, 0});
    const Vec3d force = hold(renderer, {10, 0, 0}, 100);
    EXPECT_NEAR(renderer.getProxy().x, 10.0 * (1.0 - std::pow(0.95, 100)), 1e-9);
    EXPECT_NEAR(renderer.getProxy().x / 10.0, 0.994, 1e-3);
    EXPECT_EQ(length(force), 0.0);
    EXPECT_TRUE(renderer.getContacts().empty());
}

TEST(RuspiniRenderer, ProxyRestsOnAPlaneAndPushesBackWithTheSpecifiedForce) {
    RuspiniRenderer renderer(0.5);
    startAt(renderer, {0, 0, 3});
    auto floor = makeSquare({0, 0, 0}, {0, 0, 1}, 10.0);
    renderer.addShape(floor);
    // Device one unit beyond the resting proxy, along -N.
    const Vec3d force = hold(renderer, {0, 0, -0.5}, 300);
    EXPECT_NEAR(renderer.getProxy().z, 0.5, 1e-12);
    EXPECT_NEAR(force.z, 800.0, 1e-6) << "one contact, however many triangles meet under it";
    EXPECT_NEAR(force.x, 0.0, 1e-9);
    const auto contacts = renderer.getContacts();
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_FLOAT_EQ(contacts[0].depth, 0.f) << "stiffness 1 shows no dent";
    EXPECT_FLOAT_EQ(contacts[0].normal.z, 1.f);

    // Through the device layer at scale 0.005 the hand feels 4.0.
    HapticTest::BareDevice device;
    device.setWorldScale(0.005f);
    device.addGlobalForceEffect(&renderer);
    DeviceSample raw;
    raw.position = {0, 0, -0.5 * 0.005};
    const DeviceForce out = device.updateForces(raw, 0.001);
    EXPECT_NEAR(out.force.z, 4.0, 1e-5);
}

TEST(RuspiniRenderer, StiffnessAndDampingShapeTheForceAndTheDent) {
    // Stiffness 0: no spring, the whole depth shows as a dent.
    RuspiniRenderer soft(0.5);
    startAt(soft, {0, 0, 3});
    soft.addShape(makeSquare({0, 0, 0}, {0, 0, 1}, 10.0, HapticSideOuter, 0.f, 0.f));
    Vec3d force = hold(soft, {0.3, 0.2, -0.5}, 300);
    EXPECT_NEAR(length(force), 0.0, 1e-9);
    ASSERT_EQ(soft.getContacts().size(), 1u);
    EXPECT_NEAR(soft.getContacts()[0].depth, 1.0, 1e-6);
    EXPECT_NEAR(soft.getDeformationVector().z, -1.0, 1e-6);

    // Damping acts on the device velocity along the normal.
    RuspiniRenderer damped(0.5);
    startAt(damped, {0, 0, 3});
    damped.addShape(makeSquare({0, 0, 0}, {0, 0, 1}, 10.0, HapticSideOuter, 0.5f, 1.f));
    hold(damped, {0.3, 0.2, -0.5}, 300);
    force = hold(damped, {0.3, 0.2, -0.5}, 1, {0, 0, -2});
    EXPECT_NEAR(force.z, gain * (1.0 + 2.0 * (0.5 + 0.01)), 1e-6);
}

TEST(RuspiniRenderer, ProxySlidesAlongACreaseAndStopsInACorner) {
    const double r = 0.25;
    auto floor = makeSquare({5, 5, 0}, {0, 0, 1}, 5.0);
    auto wall = makeSquare({0, 5, 5}, {1, 0, 0}, 5.0);
    RuspiniRenderer crease(r);
    startAt(crease, {2, 1, 2});
    crease.addShape(floor);
    crease.addShape(wall);
    hold(crease, {-1, 6, -1}, 400);
    const Vec3d p = crease.getProxy();
    EXPECT_NEAR(p.x, r, 1e-9);
    EXPECT_NEAR(p.z, r, 1e-9);
    EXPECT_NEAR(p.y, 6.0, 1e-3) << "free to slide along the crease";
    EXPECT_EQ(crease.getContacts().size(), 2u);

    RuspiniRenderer corner(r);
    startAt(corner, {2, 2, 2});
    corner.addShape(floor);
    corner.addShape(wall);
    corner.addShape(makeSquare({5, 0, 5}, {0, 1, 0}, 5.0));
    const Vec3d force = hold(corner, {-1, -1, -1}, 400);
    const Vec3d q = corner.getProxy();
    EXPECT_NEAR(q.x, r, 1e-9);
    EXPECT_NEAR(q.y, r, 1e-9);
    EXPECT_NEAR(q.z, r, 1e-9);
    // Each wall pushes back by the device's depth behind it.
    EXPECT_NEAR(force.x, gain * (1 + r), 1e-6);
    EXPECT_NEAR(force.y, gain * (1 + r), 1e-6);
    EXPECT_NEAR(force.z, gain * (1 + r), 1e-6);
}

TEST(RuspiniRenderer, SideSettingDecidesWhichFacesHold) {
    struct Case {
        int side;
        double start;
        bool holds;
    };
    const Case cases[] = {
        {HapticSideOuter, 3, true},  {HapticSideOuter, -3, false}, {HapticSideInner, -3, true},
        {HapticSideInner, 3, false}, {HapticSideBoth, 3, true},    {HapticSideBoth, -3, true},
        {3, 3, false},               {-1, -3, false},
    };
    for (const Case& c : cases) {
        RuspiniRenderer renderer(0.5);
    startAt(renderer, {0.3, 0.2, c.start});
        renderer.addShape(makeSquare({0, 0, 0}, {0, 0, 1}, 10.0, c.side));
        hold(renderer, {0.3, 0.2, -c.start}, 400);
        const double z = renderer.getProxy().z;
        if (c.holds)
            EXPECT_NEAR(z, c.start > 0 ? 0.5 : -0.5, 1e-9) << "side " << c.side;
        else
            EXPECT_NEAR(z, -c.start, 1e-6) << "side " << c.side;
    }
}

TEST(RuspiniRenderer, NonFiniteDevicePositionLeavesProxyAndForceAlone) {
    RuspiniRenderer renderer(0.5);
    startAt(renderer, {0, 0, 3});
    renderer.addShape(makeSquare({0, 0, 0}, {0, 0, 1}, 10.0));
    hold(renderer, {0.3, 0.2, -0.5}, 300);
    const Vec3d before = renderer.getProxy();
    const Vec3d nanForce = renderer.tick(sampleAt({NAN, 0, 0}), gain);
    EXPECT_EQ(length(nanForce), 0.0);
    EXPECT_EQ(renderer.getProxy().z, before.z);
    EXPECT_TRUE(renderer.getContacts().empty());
    EXPECT_EQ(length(renderer.tick(sampleAt({0, 0, 0}, {0, INFINITY, 0}), gain)), 0.0);
    EXPECT_EQ(renderer.getProxy().z, before.z);

    RuspiniRenderer fresh(0.5);
    fresh.tick(sampleAt({NAN, NAN, NAN}), gain);
    fresh.tick(sampleAt({1, 2, 3}), gain);
    EXPECT_EQ(fresh.getProxy().z, 3.0) << "the proxy starts at the first finite position";
}

TEST(RuspiniRenderer, ContactQueriesReportPerShape) {
    RuspiniRenderer renderer(0.5);
    startAt(renderer, {1, 1, 3});
    auto floor = makeSquare({0, 0, 0}, {0, 0, 1}, 10.0);
    floor->setTransform({0, 0, 2}, Ogre::Quaternion::IDENTITY, Ogre::Vector3::UNIT_SCALE);
    auto far = makeSquare({50, 0, 0}, {0, 0, 1}, 1.0);
    renderer.addShape(floor);
    renderer.addShape(far);
    renderer.addShape(floor);
    EXPECT_TRUE(renderer.containsShape(floor));
    hold(renderer, {1, 1, 1.5}, 300);
    EXPECT_NEAR(renderer.getProxy().z, 2.5, 1e-9);

    const auto touched = renderer.getTouchedShapes();
    ASSERT_EQ(touched.size(), 1u);
    EXPECT_EQ(touched[0], floor);
    EXPECT_NEAR(renderer.getShapeForce(floor.get()).z, -1.0, 1e-6)
        << "the proxy pushes the shape the other way (before the device gain)";
    EXPECT_EQ(renderer.getShapeForce(far.get()), Ogre::Vector3::ZERO);
    const Ogre::Vector3 local = renderer.getShapeContactPoint(floor.get());
    EXPECT_NEAR(local.x, 1.0, 1e-5);
    EXPECT_NEAR(local.z, 0.0, 1e-5) << "contact point is in the shape's own frame";

    renderer.removeShape(floor);
    renderer.removeShape(floor);
    EXPECT_FALSE(renderer.containsShape(floor));
    EXPECT_TRUE(renderer.containsShape(far));
    hold(renderer, {1, 1, 1.5}, 1);
    EXPECT_TRUE(renderer.getTouchedShapes().empty());
    EXPECT_LT(renderer.getProxy().z, 2.5) << "a removed shape no longer holds the proxy";
}

TEST(RuspiniRenderer, DisabledRendererLetsTheProxyFollowFreely) {
    RuspiniRenderer renderer(0.5);
    startAt(renderer, {0, 0, 3});
    renderer.addShape(makeSquare({0, 0, 0}, {0, 0, 1}, 10.0));
    renderer.disable();
    const Vec3d force = hold(renderer, {0, 0, -3}, 400);
    EXPECT_NEAR(renderer.getProxy().z, -3.0, 1e-6);
    EXPECT_EQ(length(force), 0.0);
}

TEST(RuspiniRenderer, ScaledShapeHoldsTheProxyAtItsWorldRadius) {
    // Objects live under a root scaled by 0.2: local units are five world units.
    RuspiniRenderer renderer(0.5);
    startAt(renderer, {0.1, 0.1, 3});
    auto floor = makeSquare({0, 0, 0}, {0, 0, 1}, 50.0);
    floor->setTransform({0, 0, 1}, Ogre::Quaternion(Ogre::Degree(30), Ogre::Vector3::UNIT_Z),
                        {0.2f, 0.2f, 0.2f});
    renderer.addShape(floor);
    hold(renderer, {0.1, 0.1, -4}, 600);
    EXPECT_NEAR(renderer.getProxy().z, 1.5, 1e-9);
}
