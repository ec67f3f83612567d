#include "hapticdevice/falcon/FalconKinematics.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Kiln;
using namespace Kiln::falcon;

namespace {

constexpr double degree = M_PI / 180.0;

ArmPose poseAt(const Vec3d& p) {
    ArmPose pose;
    EXPECT_TRUE(inverseKinematics(p, pose)) << p.x << " " << p.y << " " << p.z;
    return pose;
}

Vec3d positionFromEncoders(double e0, double e1, double e2) {
    const double theta[3] = {encoderToAngle(e0), encoderToAngle(e1), encoderToAngle(e2)};
    Vec3d p;
    EXPECT_TRUE(forwardKinematics(theta, PositionTracker::centre, p));
    return p;
}

void expectNear(const Vec3d& a, const Vec3d& b, double tolerance) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

} // namespace

// Reference poses worked out independently from the arm's geometry.
TEST(FalconKinematics, MatchesTheReferencePoses) {
    EXPECT_NEAR(encoderToAngle(0) / degree, 35.0, 1e-9);
    EXPECT_NEAR(encoderToAngle(1000) / degree, 71.4347, 1e-4);
    EXPECT_NEAR(encoderToAngle(-1000) / degree, -1.4347, 1e-4);

    const ArmPose centre = poseAt({0, 0, 0.11});
    for (const LegAngles& leg : centre.leg) {
        EXPECT_NEAR(leg.theta[0] / degree, 16.1880, 1e-4);
        EXPECT_NEAR(leg.theta[1] / degree, 131.7302, 1e-4);
        EXPECT_NEAR(leg.theta[2] / degree, 91.0677, 1e-4);
    }
    EXPECT_NEAR(angleToEncoder(centre.leg[0].theta[0]), -516.3, 0.05);
    EXPECT_NEAR(poseAt({0, 0, 0.15}).leg[1].theta[0] / degree, 47.2433, 1e-4);
    EXPECT_NEAR(poseAt({0, 0, 0.08}).leg[2].theta[0] / degree, -11.8000, 1e-4);

    const ArmPose right = poseAt({0.02, 0, 0.11});
    const double rightTheta1[3] = {22.1981, 3.8035, 27.3623};
    const double rightTheta2[3] = {134.66, 121.95, 138.45};
    const double rightTheta3[3] = {101.95, 88.17, 83.15};
    const ArmPose up = poseAt({0, 0.02, 0.11});
    const double upTheta1[3] = {4.0126, 21.4388, 27.9062};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(right.leg[i].theta[0] / degree, rightTheta1[i], 1e-4);
        EXPECT_NEAR(right.leg[i].theta[1] / degree, rightTheta2[i], 1e-2);
        EXPECT_NEAR(right.leg[i].theta[2] / degree, rightTheta3[i], 1e-2);
        EXPECT_NEAR(up.leg[i].theta[0] / degree, upTheta1[i], 1e-4);
    }

    expectNear(positionFromEncoders(0, 0, 0), {0, 0, 0.134602}, 1e-6);
    expectNear(positionFromEncoders(1000, 1000, 1000), {0, 0, 0.173603}, 1e-6);
    expectNear(positionFromEncoders(-1000, -1000, -1000), {0, 0, 0.089611}, 1e-6);
    expectNear(positionFromEncoders(-516, -516, -516), {0, 0, 0.110015}, 1e-6);
    expectNear(positionFromEncoders(500, -300, 200), {0.023459, -0.018421, 0.136707}, 1e-6);

    ArmPose unreachable;
    EXPECT_FALSE(inverseKinematics({0, 0, 0.40}, unreachable));
    EXPECT_FALSE(inverseKinematics({0.3, 0, 0.12}, unreachable));
}

TEST(FalconKinematics, ForwardUndoesInverseOverTheWorkspace) {
    int solved = 0;
    double worst = 0.0;
    for (double x = -0.05; x <= 0.0501; x += 0.01)
        for (double y = -0.05; y <= 0.0501; y += 0.01)
            for (double z = 0.08; z <= 0.1701; z += 0.01) {
                const Vec3d p(x, y, z);
                ArmPose pose;
                if (!inverseKinematics(p, pose))
                    continue;
                const double theta[3] = {pose.leg[0].theta[0], pose.leg[1].theta[0], pose.leg[2].theta[0]};
                // From the centre, as right after homing, and from a nearby
                // previous solution a few millimetres inwards, as between ticks.
                const Vec3d nearby = p + (PositionTracker::centre - p) * 0.05;
                for (const Vec3d& guess : {PositionTracker::centre, nearby}) {
                    Vec3d back;
                    ASSERT_TRUE(forwardKinematics(theta, guess, back)) << x << " " << y << " " << z;
                    worst = std::max(worst, length(back - p));
                }
                ++solved;
            }
    EXPECT_GT(solved, 600) << "the grid should lie mostly inside the workspace";
    EXPECT_LT(worst, 1e-6);
}

TEST(FalconKinematics, JacobianIsTheDerivativeOfTheArmAngles) {
    const double h = 1e-7;
    for (const Vec3d& p : {Vec3d(0, 0, 0.11), Vec3d(0.03, -0.02, 0.14), Vec3d(-0.04, 0.03, 0.09)}) {
        const Mat3d j = angleJacobian(poseAt(p));
        for (int axis = 0; axis < 3; ++axis) {
            Vec3d step;
            (axis == 0 ? step.x : axis == 1 ? step.y : step.z) = h;
            const ArmPose plus = poseAt(p + step), minus = poseAt(p - step);
            for (int leg = 0; leg < 3; ++leg) {
                const double numeric = (plus.leg[leg].theta[0] - minus.leg[leg].theta[0]) / (2 * h);
                EXPECT_NEAR(j.m[leg][axis], numeric, 1e-5 * std::max(1.0, std::fabs(numeric)))
                    << "leg " << leg << " axis " << axis;
            }
        }
    }
}

TEST(FalconKinematics, ForcesBecomeMotorCommandsAndBack) {
    struct Case {
        Vec3d at, force;
        int commands[3];
    };
    const Case cases[] = {
        {{0, 0, 0.11}, {0, 0, -9}, {2176, 2176, 2176}},
        {{0, 0, 0.11}, {0, 0, 1}, {-241, -241, -241}},
        {{0, 0, 0.11}, {1, 0, 0}, {-154, 527, -372}},
        {{0, 0, 0.11}, {0, 1, 0}, {519, -125, -393}},
        {{0.02, -0.03, 0.13}, {1, 2, 3}, {1347, -903, -2288}},
    };
    for (const Case& c : cases) {
        const ArmPose pose = poseAt(c.at);
        std::int16_t commands[3];
        forceToCommands(pose, c.force, commands);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(commands[i], c.commands[i], 1) << "motor " << i;
        // Back to newtons: equal up to the truncation to whole commands.
        expectNear(commandsToForce(pose, commands), c.force, 0.01);
    }

    // Past the largest command all three shrink together, so the force
    // keeps its direction.
    const ArmPose pose = poseAt({0.01, 0.02, 0.12});
    const Vec3d strong(30, -60, 90);
    std::int16_t commands[3];
    forceToCommands(pose, strong, commands);
    int largest = 0;
    for (std::int16_t c : commands)
        largest = std::max(largest, std::abs(int(c)));
    EXPECT_EQ(largest, Geometry::maxCommand);
    const Vec3d felt = commandsToForce(pose, commands);
    EXPECT_NEAR(dot(normalised(felt), normalised(strong)), 1.0, 1e-4);
    EXPECT_LT(length(felt), length(strong));

    forceToCommands(pose, {NAN, 0, 1}, commands);
    EXPECT_EQ(commands[0] | commands[1] | commands[2], 0);
}

TEST(FalconKinematics, TrackerKeepsItsLastPositionWhenTheCountsMakeNoSense) {
    PositionTracker tracker;
    const ArmPose pose = poseAt({0.01, -0.02, 0.13});
    std::int16_t counts[3];
    for (int i = 0; i < 3; ++i)
        counts[i] = static_cast<std::int16_t>(std::lround(angleToEncoder(pose.leg[i].theta[0])));
    ASSERT_TRUE(tracker.update(counts));
    expectNear(tracker.getPosition(), {0.01, -0.02, 0.13}, 1e-4);
    const Vec3d before = tracker.getPosition();
    const std::int16_t impossible[3] = {8000, -8000, 8000};
    EXPECT_FALSE(tracker.update(impossible));
    EXPECT_TRUE(tracker.isValid());
    expectNear(tracker.getPosition(), before, 0.0);
}
