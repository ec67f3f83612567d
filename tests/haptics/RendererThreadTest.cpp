// The haptic thread ticks while the main thread swaps shapes, moves the hand
// and reads the proxy and contacts: the pattern the haptic manager follows
// every frame. Run under ThreadSanitizer (MORVEL_TSAN) it checks the locking.
#include "HapticTestSupport.h"

#include "hapticdevice/HapticsDeviceSimulated.h"
#include "haptics/RuspiniRenderer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace Kiln;

namespace {

void waitForTicks(HapticLoopDevice& device, std::uint64_t count) {
    const std::uint64_t target = device.getActiveTickCount() + count;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (device.getActiveTickCount() < target && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

} // namespace

TEST(RendererThread, ShapesComeAndGoWhileTheHapticThreadTicks) {
    HapticsDeviceSimulated device;
    device.setWorldScale(0.005f);
    RuspiniRenderer renderer(0.5);
    device.addGlobalForceEffect(&renderer);
    renderer.enable();
    device.setTarget({0, 0, 4});
    device.activate();
    waitForTicks(device, 600);
    ASSERT_GT(renderer.getProxyPosition().z, 1.f) << "the proxy starts clear of the floor";

    auto floor = HapticTest::makeSquare({0, 0, 0}, {0, 0, 1}, 20.0);
    renderer.addShape(floor);
    device.setTarget({0.3f, 0.2f, -6});
    waitForTicks(device, 300);
    int touchedFrames = 0;
    for (int frame = 0; frame < 60; ++frame) {
        touchedFrames += renderer.getTouchedShapes().empty() ? 0 : 1;
        // Replace the shape whole, as a presenter does after an edit.
        auto replacement = std::dynamic_pointer_cast<IndexedShape>(floor->clone());
        replacement->setTransform(Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY,
                                  Ogre::Vector3::UNIT_SCALE);
        renderer.addShape(replacement);
        renderer.removeShape(floor);
        floor = replacement;
        floor->setSide(HapticSideOuter);
        renderer.getShapeForce(floor.get());
        renderer.getShapeContactPoint(floor.get());
        renderer.getDeformationVector();
        renderer.setProxyRadius(0.5);
        device.getPosition();
        device.getButtons();
        waitForTicks(device, 2);
    }
    waitForTicks(device, 300);
    EXPECT_GT(touchedFrames, 30);
    EXPECT_GE(renderer.getProxyPosition().z, 0.5f - 1e-4f) << "resting on, not under, the floor";
    EXPECT_LT(device.getPosition().z, renderer.getProxyPosition().z)
        << "the hand presses into the surface the proxy rests on";
    EXPECT_GT(device.getPosition().z, -6.0f) << "the surface pushes the hand back";

    device.removeGlobalForceEffect(&renderer);
    renderer.removeShape(floor);
}

TEST(RendererThread, SimulatedHandRestsOnTheSurface) {
    SimulatedHand hand;
    hand.weight = {};
    HapticsDeviceSimulated device(hand, HapticLoop::Manual);
    device.setWorldScale(0.005f);
    RuspiniRenderer renderer(0.5);
    renderer.enable();
    renderer.addShape(HapticTest::makeSquare({0, 0, 0}, {0, 0, 1}, 50.0));
    device.addGlobalForceEffect(&renderer);
    device.setTarget({0, 0, 5});
    device.activate();
    for (int i = 0; i < 500; ++i)
        device.tick(0.001);
    device.setTarget({0, 0, -10}); // 50 mm below the surface
    for (int i = 0; i < 8000; ++i)
        device.tick(0.001);
    // The surface pushes 4 N per unit the hand is behind the proxy centre
    // (z = 0.5); the hand spring pulls 1 N per unit towards z = -10:
    // 4 (0.5 - z) = z + 10 gives z = -1.6.
    EXPECT_NEAR(device.getDevicePosition().z, -1.6, 0.01);
    EXPECT_NEAR(renderer.getProxy().z, 0.5, 1e-9);
}
