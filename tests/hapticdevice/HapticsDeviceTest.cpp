#include "DeviceTestSupport.h"

#include "hapticdevice/HapticsDeviceDriven.h"
#include "hapticdevice/HapticsDeviceFactory.h"
#include "hapticdevice/HapticsDeviceSimulated.h"
#include "hapticdevice/falcon/FalconSimulator.h"
#include "log/Exception.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

using namespace Kiln;
using HapticTest::BareDevice;

namespace {

struct ConstantForce : IHapticForceEffect {
    explicit ConstantForce(Ogre::Vector3 f) : value(f) {}
    Ogre::Vector3& computeForce(Ogre::Vector3& force, IHapticsDevice&) override {
        ++calls;
        return force = value;
    }
    Ogre::Vector3 value;
    std::atomic<int> calls{0};
};

struct ConstantWorldForce : IGlobalForceEffect {
    ConstantWorldForce(Ogre::Vector3 f, Ogre::Vector3 t) : force(f), torque(t) {}
    void computeWorldForce(ForceTorque& out, IHapticsDevice&, float) override {
        if (force != Ogre::Vector3::ZERO)
            for (int i = 0; i < 3; ++i)
                out.force[i] = force[i];
        if (torque != Ogre::Vector3::ZERO)
            for (int i = 0; i < 3; ++i)
                out.torque[i] = torque[i];
    }
    Ogre::Vector3 force, torque;
};

DeviceSample rawAt(const Vec3d& metres) {
    DeviceSample raw;
    raw.position = metres;
    return raw;
}

void expectNear(const Ogre::Vector3& actual, const Vec3d& expected, double tolerance = 1e-5) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

} // namespace

TEST(HapticsDevice, EffectListsKeepOneEntryPerEffectAndTheirOrder) {
    BareDevice device;
    ConstantForce a({1, 0, 0}), b({0, 2, 0});
    device.addForceEffect(&a);
    device.addForceEffect(&a);
    device.addForceEffect(&b);
    device.removeForceEffect(&b);
    device.removeForceEffect(&b); // absent now: nothing happens
    device.addForceEffect(&b);
    device.addForceEffect(nullptr);

    const DeviceForce out = device.updateForces(rawAt({}), 0.001);
    EXPECT_EQ(a.calls, 1) << "an effect added twice must be called once per tick";
    EXPECT_EQ(b.calls, 1);
    EXPECT_DOUBLE_EQ(out.force.x, 1.0);
    EXPECT_DOUBLE_EQ(out.force.y, 2.0);

    device.removeForceEffect(&a);
    device.updateForces(rawAt({}), 0.001);
    EXPECT_EQ(a.calls, 1) << "one remove takes the effect out";
    EXPECT_EQ(b.calls, 2);
}

TEST(HapticsDevice, DeviceTransformPlacesTheWorkspace) {
    BareDevice device;
    device.setWorldScale(0.005f);
    device.updateForces(rawAt({0.01, 0.02, -0.03}), 0.001);
    expectNear(device.getDevicePosition(), {2, 4, -6});
    expectNear(device.getPosition(), {2, 4, -6}); // identity transform: world = device

    // 90 degrees about +Y with offset (0, 0, -50): the device origin lands at (-50, 0, 0).
    const Ogre::Quaternion quarterTurn(Ogre::Degree(90), Ogre::Vector3::UNIT_Y);
    device.setDeviceTransform(Ogre::Vector3::ZERO, quarterTurn, {0, 0, -50});
    device.updateForces(rawAt({}), 0.001);
    expectNear(device.getPosition(), {-50, 0, 0}, 1e-4);
    device.updateForces(rawAt({0, 0, 0.005}), 0.001); // one unit along device +Z
    expectNear(device.getPosition(), {-49, 0, 0}, 1e-4);

    // A quaternion that is not unit length describes the same rotation.
    device.setDeviceTransform({1, 2, 3}, quarterTurn * 3.0f, {0, 0, -50});
    device.updateForces(rawAt({}), 0.001);
    expectNear(device.getPosition(), {-49, 2, 3}, 1e-4);
}

TEST(HapticsDevice, WorldForcesReachTheDeviceScaledAndRotated) {
    BareDevice device;
    device.setWorldScale(0.005f);
    ConstantWorldForce world({1, 0, 0}, Ogre::Vector3::ZERO);
    device.addGlobalForceEffect(&world);
    DeviceForce out = device.updateForces(rawAt({}), 0.001);
    EXPECT_NEAR(out.force.x, 0.005, 1e-9);

    // Rotated workspace: the force goes through R^T; torque is not scaled.
    const Ogre::Quaternion quarterTurn(Ogre::Degree(90), Ogre::Vector3::UNIT_Y);
    device.setDeviceTransform(Ogre::Vector3::ZERO, quarterTurn, Ogre::Vector3::ZERO);
    ConstantWorldForce twist(Ogre::Vector3::ZERO, {2, 0, 0});
    device.addGlobalForceEffect(&twist);
    ConstantForce local({0, 0.7f, 0});
    device.addForceEffect(&local);
    out = device.updateForces(rawAt({}), 0.001);
    // R maps device +Z to world +X, so world +X is device +Z.
    EXPECT_NEAR(out.force.z, 0.005, 1e-7);
    EXPECT_NEAR(out.force.x, 0.0, 1e-7);
    EXPECT_NEAR(out.force.y, 0.7, 1e-6) << "device effects are added unchanged";
    EXPECT_NEAR(out.torque.z, 2.0, 1e-6);
    EXPECT_NEAR(out.torque.x, 0.0, 1e-6)
        << "an effect that writes only torque must not repeat the force before it";
}

TEST(HapticsDevice, NonFiniteInputNeverReachesTheSampleOrTheForce) {
    BareDevice device;
    device.updateForces(rawAt({1, 2, 3}), 0.001);
    const double nan = std::nan("");
    device.updateForces(rawAt({nan, 0, 0}), 0.001);
    expectNear(device.getDevicePosition(), {1, 2, 3});
    DeviceSample fast = rawAt({4, 5, 6});
    fast.velocity = {INFINITY, 0, 0};
    device.updateForces(fast, 0.001);
    expectNear(device.getDevicePosition(), {1, 2, 3});

    ConstantForce broken({nan, 0, 0});
    device.addForceEffect(&broken);
    const DeviceForce out = device.updateForces(rawAt({1, 2, 3}), 0.001);
    EXPECT_EQ(out.force.x, 0.0);
    EXPECT_EQ(out.force.y, 0.0);

    EXPECT_THROW(device.setWorldScale(0.f), Exception);
    EXPECT_THROW(device.setWorldScale(std::nanf("")), Exception);
    EXPECT_FLOAT_EQ(device.getWorldScale(), 1.f);
}

TEST(HapticsDevice, RemovedEffectIsNotCalledOnceRemoveReturns) {
    HapticsDeviceSimulated device;
    device.activate();
    ConstantForce effect({0, 0, 0});
    device.addForceEffect(&effect);
    while (effect.calls < 3)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    device.removeForceEffect(&effect);
    const int callsAtRemoval = effect.calls;
    const std::uint64_t ticks = device.getActiveTickCount();
    while (device.getActiveTickCount() < ticks + 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(effect.calls, callsAtRemoval);
}

TEST(HapticLoopDevice, TicksBeforeActivateChangeNothingAndTheFirstDtIsZero) {
    SimulatedHand hand;
    hand.weight = {};
    HapticsDeviceSimulated device(hand, HapticLoop::Manual);
    device.setWorldScale(0.005f);
    device.setTarget({10, 0, 0});
    device.tick(0.001);
    expectNear(device.getDevicePosition(), {0, 0, 0});
    EXPECT_EQ(device.getActiveTickCount(), 0u);

    ConstantForce push({1, 0, 0});
    device.addForceEffect(&push);
    device.activate();
    device.tick(0.0); // the periodic thread's first call
    const Ogre::Vector3 v0 = device.getDeviceVelocity();
    EXPECT_TRUE(std::isfinite(v0.x) && std::isfinite(v0.y) && std::isfinite(v0.z));
    EXPECT_DOUBLE_EQ(device.getPendingForce().force.x, 1.0);

    device.tick(0.001);
    const Ogre::Vector3 p1 = device.getDevicePosition();
    device.tick(0.001);
    const Ogre::Vector3 p2 = device.getDevicePosition();
    EXPECT_GT(p2.x, p1.x) << "the spring pulls the hand towards the target";
    EXPECT_NEAR(device.getDeviceVelocity().x, (p2.x - p1.x) / 0.001, 1e-2);

    device.deactivate();
    device.setTarget({-10, 0, 0});
    device.tick(0.001);
    expectNear(device.getDevicePosition(), {p2.x, p2.y, p2.z});
}

TEST(HapticsDeviceSimulated, HandSettlesWhereTheSpringMeetsTheForce) {
    SimulatedHand hand;
    hand.weight = {};
    HapticsDeviceSimulated device(hand, HapticLoop::Manual);
    device.setWorldScale(0.005f);
    ConstantForce wall({-2.0f, 0, 0}); // newtons, device frame
    device.addForceEffect(&wall);
    device.setTarget({4, 0, 0}); // 20 mm
    device.setTarget({NAN, 0, 0}); // ignored
    device.activate();
    for (int i = 0; i < 5000; ++i)
        device.tick(0.001);
    // 200 N/m * (0.020 - x) = 2 N  =>  x = 0.010 m = 2 units.
    EXPECT_NEAR(device.getDevicePosition().x, 2.0, 1e-3);
    EXPECT_NEAR(device.getDeviceVelocity().x, 0.0, 1e-3);
}

TEST(HapticsDeviceFactory, ChoosesTheDeviceFromTheSetting) {
    // An empty simulated bus stands for a machine without a Falcon.
    auto absent = std::make_shared<falcon::Simulator>(std::vector<std::uint8_t>{});
    absent->unplug();
    HapticsDeviceOptions noFalcon;
    noFalcon.falconPort = absent->makePort();

    HapticsDeviceChoice automatic = createHapticsDevice("auto", noFalcon);
    ASSERT_NE(dynamic_cast<HapticsDeviceSimulated*>(automatic.device.get()), nullptr);
    EXPECT_NE(automatic.notice.find("No haptic device found"), std::string::npos);

    HapticsDeviceChoice simulated = createHapticsDevice("simulated");
    EXPECT_NE(dynamic_cast<HapticsDeviceSimulated*>(simulated.device.get()), nullptr);
    EXPECT_TRUE(simulated.notice.empty());

    try {
        createHapticsDevice("falcon", noFalcon);
        FAIL() << "no Falcon is connected";
    } catch (const Exception& e) {
        EXPECT_EQ(e.getCode(), 6);
        EXPECT_NE(e.getDescription().find("No Falcon is connected"), std::string::npos);
    }
    EXPECT_THROW(createHapticsDevice("joystick"), Exception);
    EXPECT_THROW(createHapticsDevice("script:"), Exception);
    EXPECT_THROW(createHapticsDevice("script:/nonexistent/path.traj"), Exception);
}

TEST(HapticsDeviceDriven, AMotionIsSettledOnlyOnceTheLoopHasReadIt) {
    HapticsDeviceDriven device(HapticLoop::Manual);
    device.setWorldScale(0.005f);
    device.activate();
    device.tick(0.0);
    // A button change in place takes no time, but the device has it only
    // after the next tick: until then a script must wait.
    device.moveTo({0, 0, 0}, 0.0, 1);
    EXPECT_FALSE(device.isSettled());
    device.tick(0.001);
    EXPECT_TRUE(device.isSettled());
    EXPECT_EQ(device.getButtons(), 1);

    device.moveTo({10, 0, 0}, 0.01, 0);
    device.tick(0.001);
    EXPECT_FALSE(device.isSettled()) << "a tenth of the way";
    for (int i = 0; i < 10; ++i)
        device.tick(0.001);
    EXPECT_TRUE(device.isSettled());
    expectNear(device.getDevicePosition(), {10, 0, 0});
    device.deactivate();
}
