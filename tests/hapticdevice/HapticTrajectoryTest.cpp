#include "hapticdevice/HapticTrajectory.h"
#include "hapticdevice/HapticsDeviceScripted.h"
#include "log/Exception.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

using namespace Kiln;

namespace {

HapticTrajectory parseText(const std::string& text) {
    std::istringstream in(text);
    return HapticTrajectory::parse(in, "path.traj");
}

std::string errorOf(const std::string& text) {
    try {
        parseText(text);
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(HapticTrajectory, InterpolatesPositionsAndStepsButtons) {
    const HapticTrajectory path = parseText("# time x y z buttons\n"
                                            "0 0 0 0 0\n"
                                            "\n"
                                            "1.0 10 -20 4 1   # press\n"
                                            "  2.0 10 -20 4 0x3\n");
    ASSERT_EQ(path.getSamples().size(), 3u);
    EXPECT_DOUBLE_EQ(path.duration(), 2.0);
    const Vec3d half = path.positionAt(0.5);
    EXPECT_DOUBLE_EQ(half.x, 5.0);
    EXPECT_DOUBLE_EQ(half.y, -10.0);
    EXPECT_DOUBLE_EQ(half.z, 2.0);
    EXPECT_EQ(path.buttonsAt(0.99), 0);
    EXPECT_EQ(path.buttonsAt(1.0), 1);
    EXPECT_EQ(path.buttonsAt(2.5), 3);
    EXPECT_DOUBLE_EQ(path.positionAt(-1.0).x, 0.0);
    EXPECT_DOUBLE_EQ(path.positionAt(7.0).y, -20.0);
}

TEST(HapticTrajectory, BadLinesNameTheFileAndTheLine) {
    const std::string fewFields = errorOf("0 0 0 0 0\n# fine\n1 2 3 4\n");
    EXPECT_NE(fewFields.find("path.traj"), std::string::npos) << fewFields;
    EXPECT_NE(fewFields.find("line 3"), std::string::npos) << fewFields;

    EXPECT_NE(errorOf("0 0 0 0 0 9\n").find("line 1"), std::string::npos);
    EXPECT_NE(errorOf("0 nan 0 0 0\n").find("not a finite number"), std::string::npos);
    EXPECT_NE(errorOf("0 1e999 0 0 0\n").find("line 1"), std::string::npos);
    EXPECT_NE(errorOf("0 0 0 0 -1\n").find("button mask"), std::string::npos);
    EXPECT_NE(errorOf("0 0 0 0 1.5\n").find("button mask"), std::string::npos);
    EXPECT_NE(errorOf("0 1x 0 0 0\n").find("'1x'"), std::string::npos);
    EXPECT_NE(errorOf("1 0 0 0 0\n0.5 0 0 0 0\n").find("backwards"), std::string::npos);
    EXPECT_NE(errorOf("-1 0 0 0 0\n").find("negative"), std::string::npos);
    EXPECT_NE(errorOf("# nothing here\n").find("no samples"), std::string::npos);
    EXPECT_THROW(HapticTrajectory::load("/nonexistent/file.traj"), Exception);
}

TEST(HapticsDeviceScripted, ReplaysTheFileOnTheHapticThread) {
    const std::string path = ::testing::TempDir() + "scripted_device.traj";
    {
        std::ofstream out(path);
        out << "0 0 0 0 0\n0.02 2 0 0 8\n0.03 2 1 0 8\n";
    }
    HapticsDeviceScripted device(path);
    device.setWorldScale(0.005f);
    EXPECT_TRUE(device.isConnected());
    EXPECT_FALSE(device.isFinished()) << "the clock waits for activate";
    device.activate();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!device.isFinished() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(device.isFinished());
    const std::uint64_t ticks = device.getActiveTickCount();
    while (device.getActiveTickCount() < ticks + 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const Ogre::Vector3 end = device.getDevicePosition();
    EXPECT_NEAR(end.x, 2.0, 1e-4);
    EXPECT_NEAR(end.y, 1.0, 1e-4);
    EXPECT_EQ(device.getButtons(), 8);
    std::remove(path.c_str());
}
