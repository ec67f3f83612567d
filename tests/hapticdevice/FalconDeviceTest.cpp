// The driver and the haptic device against the simulated Falcon, which
// speaks the device's byte protocol on the other side of the transport.
#include "hapticdevice/HapticForceEffect.h"
#include "hapticdevice/HapticsDeviceFactory.h"
#include "hapticdevice/HapticsDeviceSimulated.h"
#include "hapticdevice/falcon/FalconDriver.h"
#include "hapticdevice/falcon/FalconSimulator.h"
#include "hapticdevice/falcon/HapticsDeviceFalcon.h"
#include "log/Exception.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <thread>
#include <unistd.h>

using namespace Kiln;
using namespace Kiln::falcon;

namespace {

// A firmware image of the real image's size; the simulated device accepts
// exactly these bytes.
class FirmwareFile {
public:
    FirmwareFile() : path("/tmp/morvel-falcon-test-" + std::to_string(getpid()) + ".bin") {
        std::mt19937 random(5);
        image.resize(8492);
        for (auto& b : image)
            b = static_cast<std::uint8_t>(random());
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
    }
    ~FirmwareFile() { std::remove(path.c_str()); }
    const std::string path;
    std::vector<std::uint8_t> image;
};

struct Bench {
    FirmwareFile firmware;
    std::shared_ptr<Simulator> device = std::make_shared<Simulator>(firmware.image);
    std::shared_ptr<IPort> port = device->makePort();

    OpenOptions options() const {
        OpenOptions o;
        o.firmwarePath = firmware.path;
        o.firmwareAttempts = 3;
        return o;
    }
    FalconDeviceOptions deviceOptions() const {
        FalconDeviceOptions o;
        o.port = port;
        o.open = options();
        o.loop = HapticLoop::Manual;
        return o;
    }
};

struct ConstantForce : IHapticForceEffect {
    explicit ConstantForce(const Ogre::Vector3& f) : force(f) {}
    Ogre::Vector3& computeForce(Ogre::Vector3& out, IHapticsDevice&) override {
        out = force;
        return out;
    }
    Ogre::Vector3 force;
};

void tickFor(HapticsDeviceFalcon& falcon, int ticks) {
    for (int i = 0; i < ticks; ++i)
        falcon.tick(0.001);
}

// The person at the device: all the way out, then back in.
void home(Simulator& device, HapticsDeviceFalcon& falcon) {
    device.placeGrip({0, 0, 0.175});
    tickFor(falcon, 5);
    device.placeGrip({0, 0, 0.13});
    tickFor(falcon, 5);
}

std::string openFailure(IPort& port, const OpenOptions& options) {
    try {
        openDevice(port, options);
    } catch (const Exception& e) {
        EXPECT_EQ(e.getCode(), 6);
        return e.getDescription();
    }
    ADD_FAILURE() << "the device opened";
    return {};
}

} // namespace

TEST(FalconDriver, LoadsFirmwareOnlyWhenTheDeviceLacksIt) {
    Bench bench;
    OpenedDevice opened = openDevice(*bench.port, bench.options());
    EXPECT_TRUE(opened.firmwareLoaded);
    EXPECT_TRUE(bench.device->isFirmwareRunning());
    EXPECT_EQ(bench.device->getFirmwareLoads(), 1);
    opened.driver.reset();

    // Still powered: the firmware answers, and the file is not needed.
    OpenOptions noFile = bench.options();
    noFile.firmwarePath = "/nonexistent/falcon.bin";
    OpenedDevice again = openDevice(*bench.port, noFile);
    EXPECT_FALSE(again.firmwareLoaded);
    EXPECT_EQ(bench.device->getFirmwareLoads(), 1);
    again.driver.reset();

    // After a power cycle it is needed again, and its absence is explained
    // with the settings key and the path.
    bench.device->unplug();
    bench.device->plug();
    const std::string message = openFailure(*bench.port, noFile);
    EXPECT_NE(message.find("Haptic.FalconFirmware"), std::string::npos) << message;
    EXPECT_NE(message.find("/nonexistent/falcon.bin"), std::string::npos) << message;

    bench.device->unplug();
    EXPECT_NE(openFailure(*bench.port, bench.options()).find("no Falcon is connected"), std::string::npos);
}

TEST(FalconDriver, RetriesFlakyLoadsAndRejectsAWrongImage) {
    Bench bench;
    bench.device->setHandshakePrefix(true); // as some hosts see the bootloader's reply
    bench.device->corruptNextLoads(2);
    std::vector<std::string> progress;
    OpenOptions options = bench.options();
    options.progress = [&](const std::string& line) { progress.push_back(line); };
    OpenedDevice opened = openDevice(*bench.port, options);
    EXPECT_TRUE(opened.firmwareLoaded);
    EXPECT_EQ(bench.device->getFirmwareLoads(), 1);
    EXPECT_NE(progress.back().find("attempt 3"), std::string::npos);
    opened.driver.reset();

    bench.device->unplug();
    bench.device->plug();
    bench.device->corruptNextLoads(100);
    EXPECT_NE(openFailure(*bench.port, bench.options()).find("echoed the image wrongly"), std::string::npos);

    // A file that is not this device's firmware streams fine but never runs.
    FirmwareFile other;
    std::ofstream(other.path, std::ios::binary | std::ios::trunc) << "not the firmware";
    OpenOptions wrong = bench.options();
    wrong.firmwarePath = other.path;
    bench.device->corruptNextLoads(0);
    EXPECT_NE(openFailure(*bench.port, wrong).find("did not load"), std::string::npos);
    EXPECT_FALSE(bench.device->isFirmwareRunning());
}

TEST(FalconDriver, ReadingsSurviveNoiseSplitAndLostReplies) {
    Bench bench;
    bench.device->setFirmwareRunning(true);
    OpenedDevice opened = openDevice(*bench.port, bench.options());
    Driver& driver = *opened.driver;
    Status status;
    Command command;
    command.control = controlHoming;
    // Opening leaves a command in flight; its reply is already waiting.
    ASSERT_TRUE(driver.exchange(command, status, 5000));
    bench.device->setReadPieceSize(5);
    bench.device->injectNoise({'<', 'A', '>', 'x', '<', 'P', 'P'}); // ahead of the next reply
    ASSERT_TRUE(driver.exchange(command, status, 5000));
    ASSERT_TRUE(driver.exchange(command, status, 5000));
    std::int16_t expected[3];
    bench.device->getEncoders(expected);
    EXPECT_EQ(status.encoder[0], expected[0]);
    EXPECT_EQ(status.encoder[2], expected[2]);
    EXPECT_EQ(driver.getCounters().bytesDropped, 7u);

    // A lost reply: the command goes out again after a few silent ticks.
    bench.device->setReadPieceSize(0);
    bench.device->dropReplies(1);
    ASSERT_TRUE(driver.exchange(command, status, 0)); // its command gets no answer
    int silent = 0;
    while (!driver.exchange(command, status, 0) && silent < 50)
        ++silent;
    EXPECT_EQ(silent, Driver::resendAfterTicks);
    EXPECT_EQ(driver.getCounters().resends, 1u);
    EXPECT_FALSE(driver.isLost());
}

TEST(HapticsDeviceFalcon, HomesThenRendersForcesAndReadsButtons) {
    Bench bench;
    HapticsDeviceFalcon falcon(bench.deviceOptions());
    EXPECT_TRUE(falcon.isConnected());
    EXPECT_TRUE(falcon.wasFirmwareLoaded());
    falcon.setWorldScale(0.005f);
    ConstantForce push({0, 0, -3}); // newtons, device frame: into the device
    falcon.addForceEffect(&push);
    falcon.activate();
    bench.device->setGrip(gripCenter);

    tickFor(falcon, 20);
    EXPECT_FALSE(falcon.isHomed());
    const Command unhomed = bench.device->getLastCommand();
    EXPECT_EQ(unhomed.control, controlHoming | controlRedLed);
    EXPECT_EQ(unhomed.motor[0] | unhomed.motor[1] | unhomed.motor[2], 0) << "no force before homing";
    EXPECT_EQ(falcon.getButtons(), 0) << "the sample stays frozen until homed";

    home(*bench.device, falcon);
    ASSERT_TRUE(falcon.isHomed());
    EXPECT_EQ(bench.device->getLastControl(), controlHoming | controlGreenLed);
    EXPECT_EQ(falcon.getButtons(), 1);

    // The grip held still: the reported position is the grip's, one encoder
    // count (about 0.1 mm) at most away, in units of 5 mm about the centre.
    bench.device->placeGrip({0.012, -0.02, 0.14});
    tickFor(falcon, 3);
    const Ogre::Vector3 p = falcon.getDevicePosition();
    EXPECT_NEAR(p.x, 0.012 / 0.005, 0.03);
    EXPECT_NEAR(p.y, -0.02 / 0.005, 0.03);
    EXPECT_NEAR(p.z, (0.14 - HapticsDeviceFalcon::workspaceCentreZ) / 0.005, 0.03);
    const Vec3d motor = bench.device->getMotorForce();
    EXPECT_NEAR(motor.x, 0.0, 0.02);
    EXPECT_NEAR(motor.y, 0.0, 0.02);
    EXPECT_NEAR(motor.z, -3.0, 0.02);

    bench.device->setGrip(gripPlus | gripMinus);
    tickFor(falcon, 2);
    EXPECT_EQ(falcon.getButtons(), 10);
    EXPECT_EQ(gripButtonsToMask(gripForward), 4);

    // Released to the hand's spring, the grip is pushed in by the motors.
    bench.device->setHandTarget({0.012, -0.02, 0.14});
    tickFor(falcon, 1000);
    EXPECT_NEAR(bench.device->getGripPosition().z, 0.14 - 3.0 / 200.0, 5e-4);
    EXPECT_NEAR(falcon.getDevicePosition().z, (0.14 - 0.015 - 0.15) / 0.005, 0.1);
    EXPECT_EQ(falcon.getCounters().resends, 0u);
    falcon.removeForceEffect(&push);
}

TEST(HapticsDeviceFalcon, LostDeviceIsReportedAndReopenedWhenBack) {
    Bench bench;
    HapticsDeviceFalcon falcon(bench.deviceOptions());
    falcon.setWorldScale(0.005f);
    falcon.activate();
    home(*bench.device, falcon);
    ASSERT_TRUE(falcon.isHomed());
    const Ogre::Vector3 before = falcon.getDevicePosition();

    bench.device->unplug();
    tickFor(falcon, 3);
    EXPECT_FALSE(falcon.isConnected());
    EXPECT_EQ(falcon.getDevicePosition(), before) << "the last sample stays";

    falcon.deactivate();
    EXPECT_FALSE(falcon.activate()) << "still unplugged";
    EXPECT_NE(falcon.getLastError().find("no Falcon is connected"), std::string::npos);

    bench.device->plug();
    ASSERT_TRUE(falcon.activate()) << falcon.getLastError();
    EXPECT_TRUE(falcon.isConnected());
    EXPECT_EQ(bench.device->getFirmwareLoads(), 2) << "power was lost, so the firmware went with it";
    tickFor(falcon, 5);
    EXPECT_FALSE(falcon.isHomed());

    // Homed again with the grip held still far from the last sample: the
    // jump in the coordinates is not a velocity.
    bench.device->placeGrip({0, 0, 0.175});
    for (int i = 0; i < 10 && !falcon.isHomed(); ++i)
        falcon.tick(0.001);
    ASSERT_TRUE(falcon.isHomed());
    EXPECT_NEAR(falcon.getDevicePosition().z, (0.175 - 0.15) / 0.005, 0.03);
    EXPECT_LT(falcon.getDeviceVelocity().length(), 1.0f);
}

TEST(HapticsDeviceFalcon, HapticThreadGetsAReplyEveryTick) {
    Bench bench;
    bench.device->setFirmwareRunning(true);
    FalconDeviceOptions options = bench.deviceOptions();
    options.loop = HapticLoop::Thread;
    HapticsDeviceFalcon falcon(options);
    ConstantForce push({0, 1, 0});
    falcon.addForceEffect(&push);
    falcon.activate();
    bench.device->placeGrip({0, 0, 0.175});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (falcon.getActiveTickCount() < 300 && std::chrono::steady_clock::now() < deadline) {
        bench.device->setGrip(falcon.getActiveTickCount() % 2 ? gripCenter : 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    falcon.deactivate();
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // a tick already under way ends
    const ExchangeCounters counters = falcon.getCounters();
    ASSERT_GE(falcon.getActiveTickCount(), 300u);
    EXPECT_TRUE(falcon.isHomed());
    EXPECT_EQ(counters.resends, 0u);
    EXPECT_GE(counters.statusesReceived + 2, counters.commandsSent);
    EXPECT_EQ(bench.device->getCommandsAnswered(), counters.commandsSent);
    EXPECT_GT(bench.device->getMotorForce().y, 0.9);
    falcon.removeForceEffect(&push);
}

TEST(HapticsDeviceFactory, AutoUsesAConnectedFalconAndFallsBackWithoutOne) {
    Bench bench;
    HapticsDeviceOptions options;
    options.falconPort = bench.port;
    options.falconFirmware = bench.firmware.path;

    HapticsDeviceChoice chosen = createHapticsDevice("auto", options);
    EXPECT_NE(dynamic_cast<HapticsDeviceFalcon*>(chosen.device.get()), nullptr);
    EXPECT_TRUE(chosen.notice.empty());
    chosen.device.reset();

    chosen = createHapticsDevice("falcon", options);
    EXPECT_NE(dynamic_cast<HapticsDeviceFalcon*>(chosen.device.get()), nullptr);
    chosen.device.reset();

    bench.device->unplug();
    chosen = createHapticsDevice("auto", options);
    EXPECT_NE(dynamic_cast<HapticsDeviceSimulated*>(chosen.device.get()), nullptr);
    EXPECT_EQ(chosen.notice, "No haptic device found: the mouse drives the stylus.");
    try {
        createHapticsDevice("falcon", options);
        FAIL() << "no Falcon is plugged in";
    } catch (const Exception& e) {
        EXPECT_EQ(e.getCode(), 6);
        EXPECT_NE(e.getDescription().find("No Falcon is connected"), std::string::npos);
    }

    // Present but unusable (no firmware file): auto says why and goes on.
    bench.device->plug();
    options.falconFirmware = "/nonexistent/falcon.bin";
    chosen = createHapticsDevice("auto", options);
    EXPECT_NE(dynamic_cast<HapticsDeviceSimulated*>(chosen.device.get()), nullptr);
    EXPECT_NE(chosen.notice.find("Haptic.FalconFirmware"), std::string::npos) << chosen.notice;
}
