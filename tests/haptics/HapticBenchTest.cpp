#include "haptics/HapticBench.h"
#include "mesh/MeshEditor.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

using namespace Kiln;

namespace {

std::shared_ptr<IndexedShape> primitiveShape(PrimitiveType type) {
    const auto mesh = MeshEditor::createNewDynamicMesh(int(type), Ogre::ColourValue::White);
    return std::make_shared<IndexedShape>(mesh->getFaces(), mesh->getVertices());
}

} // namespace

TEST(HapticBench, DefaultPathPressesOnTheSurfaceWithoutSinkingIn) {
    HapticBenchOptions options;
    options.ticks = 3000;
    const HapticBenchResult result = runHapticBench(primitiveShape(PrimitiveType::Torus), options);
    EXPECT_EQ(result.ticks, 3000u);
    EXPECT_NEAR(result.radius, 0.01 * std::sqrt(6.0 * 6.0 + 6.0 * 6.0 + 2.0 * 2.0), 1e-6);
    EXPECT_GT(result.contactTicks, 1000u) << "the default path must touch most of the time";
    EXPECT_LT(result.maxPenetration, 1e-6 * 6.0);
    EXPECT_LE(result.medianMicros, result.p99Micros);
    EXPECT_LE(result.p99Micros, result.maxMicros);
    EXPECT_TRUE(std::regex_match(result.summaryLine(),
                                 std::regex("ticks=3000 contact_ticks=[0-9]+ median_us=[0-9.]+ "
                                            "p99_us=[0-9.]+ max_us=[0-9.]+ max_penetration=.+")))
        << result.summaryLine();
}

TEST(HapticBench, FollowsAGivenTrajectoryForItsLength) {
    // Straight down onto the cube's top face and along it.
    std::istringstream text("0 0 0 6 0\n0.2 0 0 2 0\n0.5 2 1 2 0\n");
    const HapticTrajectory path = HapticTrajectory::parse(text, "test");
    HapticBenchOptions options;
    options.trajectory = &path;
    options.radius = 0.25;
    const HapticBenchResult result = runHapticBench(primitiveShape(PrimitiveType::Cube), options);
    EXPECT_EQ(result.ticks, 501u);
    EXPECT_GT(result.contactTicks, 100u);
    EXPECT_LT(result.maxPenetration, 1e-6 * 6.0);
}
