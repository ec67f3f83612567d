#include "hapticdevice/falcon/FalconKinematics.h"

#include <algorithm>
#include <initializer_list>
#include <cmath>

namespace Kiln {
namespace falcon {
namespace {

using G = Geometry;

constexpr double pi = 3.14159265358979323846;
constexpr double degrees = pi / 180.0;

// The legs sit 120 degrees apart, turned 15 degrees from the desk plane:
// top, right, left seen from the front.
struct LegFrame {
    double cosPhi, sinPhi;
};

const LegFrame& legFrame(int leg) {
    static const LegFrame frames[3] = {
        {std::cos(105.0 * degrees), std::sin(105.0 * degrees)},
        {std::cos(-15.0 * degrees), std::sin(-15.0 * degrees)},
        {std::cos(-135.0 * degrees), std::sin(-135.0 * degrees)},
    };
    return frames[leg];
}

bool solveLeg(const Vec3d& p, const LegFrame& frame, LegAngles& out) {
    const double u = frame.cosPhi * p.x + frame.sinPhi * p.y - G::r;
    const double v = -frame.sinPhi * p.x + frame.cosPhi * p.y - G::s;
    const double w = p.z;
    const double cos3 = (v + G::f) / G::b;
    if (!(std::fabs(cos3) <= 1.0))
        return false;
    const double theta3 = std::acos(cos3);
    const double k = G::d + G::e + G::b * std::sin(theta3);
    // theta1 from the knee circle, as tan(theta1 / 2); the smaller root is
    // the assembly the device is built in.
    const double l0 = w * w + (u + G::c - G::a) * (u + G::c - G::a) - k * k;
    const double l1 = -4.0 * G::a * w;
    const double l2 = w * w + (u + G::c + G::a) * (u + G::c + G::a) - k * k;
    const double discriminant = l1 * l1 - 4.0 * l0 * l2;
    if (!(discriminant >= 0.0) || l2 == 0.0)
        return false;
    const double t = (-l1 - std::sqrt(discriminant)) / (2.0 * l2);
    const double theta1 = 2.0 * std::atan(t);
    const double cos2 = (u + G::c - G::a * std::cos(theta1)) / k;
    if (!(std::fabs(cos2) <= 1.0))
        return false;
    out.theta[0] = theta1;
    out.theta[1] = std::acos(cos2);
    out.theta[2] = theta3;
    return std::isfinite(theta1);
}

double largestAbs(const Vec3d& v) {
    return std::max(std::fabs(v.x), std::max(std::fabs(v.y), std::fabs(v.z)));
}

} // namespace

double encoderToAngle(double count) {
    return (G::degreesAtZeroCount + count * G::degreesPerCount) * degrees;
}

double angleToEncoder(double angle) {
    return (angle / degrees - G::degreesAtZeroCount) / G::degreesPerCount;
}

bool inverseKinematics(const Vec3d& position, ArmPose& out) {
    for (int leg = 0; leg < 3; ++leg)
        if (!solveLeg(position, legFrame(leg), out.leg[leg]))
            return false;
    return true;
}

Mat3d angleJacobian(const ArmPose& pose) {
    Mat3d j;
    for (int leg = 0; leg < 3; ++leg) {
        const LegFrame& frame = legFrame(leg);
        const double t1 = pose.leg[leg].theta[0];
        const double t2 = pose.leg[leg].theta[1];
        const double t3 = pose.leg[leg].theta[2];
        const double s3 = std::sin(t3), c3 = std::cos(t3), c2 = std::cos(t2), s2 = std::sin(t2);
        const double den = G::a * s3 * std::sin(t2 - t1);
        j.m[leg][0] = (frame.cosPhi * c2 * s3 - frame.sinPhi * c3) / den;
        j.m[leg][1] = (frame.sinPhi * c2 * s3 + frame.cosPhi * c3) / den;
        j.m[leg][2] = s2 * s3 / den;
    }
    return j;
}

namespace {

bool newtonSolve(const double theta1[3], const Vec3d& guess, Vec3d& position, ArmPose* poseOut) {
    constexpr int maxIterations = 50;
    constexpr int maxHalvings = 30;
    constexpr double tolerance = 1e-11; // radians; about 1e-12 m at the grip
    const auto residualAt = [&](const ArmPose& pose) {
        return Vec3d(theta1[0] - pose.leg[0].theta[0], theta1[1] - pose.leg[1].theta[0],
                     theta1[2] - pose.leg[2].theta[0]);
    };
    Vec3d p = guess;
    ArmPose pose;
    if (!inverseKinematics(p, pose))
        return false;
    Vec3d residual = residualAt(pose);
    double error = largestAbs(residual);
    for (int i = 0; i < maxIterations && std::isfinite(error); ++i) {
        if (error < tolerance) {
            position = p;
            if (poseOut)
                *poseOut = pose;
            return true;
        }
        const Mat3d inverse = angleJacobian(pose).inverse();
        if (!inverse.isFinite())
            return false;
        const Vec3d step = inverse * residual;
        // Newton's step, halved while it leaves the reach of a leg (near the
        // workspace edge) or does not bring the angles closer.
        double gain = 1.0;
        for (int halving = 0;; ++halving) {
            if (halving > maxHalvings)
                return false;
            const Vec3d next = p + step * gain;
            ArmPose nextPose;
            if (inverseKinematics(next, nextPose)) {
                const Vec3d nextResidual = residualAt(nextPose);
                const double nextError = largestAbs(nextResidual);
                if (nextError < error || nextError < tolerance) {
                    p = next;
                    pose = nextPose;
                    residual = nextResidual;
                    error = nextError;
                    break;
                }
            }
            gain *= 0.5;
        }
    }
    if (error < tolerance) {
        position = p;
        if (poseOut)
            *poseOut = pose;
        return true;
    }
    return false;
}

} // namespace

bool forwardKinematics(const double theta1[3], const Vec3d& guess, Vec3d& position, ArmPose* poseOut) {
    if (newtonSolve(theta1, guess, position, poseOut))
        return true;
    // Far from the guess (a cold start towards the edge of the workspace)
    // Newton can stall; walk the angles there in stages instead, each stage
    // starting from the last one's solution.
    ArmPose start;
    if (!inverseKinematics(guess, start))
        return false;
    for (const int stages : {4, 16}) {
        Vec3d p = guess;
        bool solved = true;
        for (int k = 1; k <= stages && solved; ++k) {
            const double t = static_cast<double>(k) / stages;
            double stage[3];
            for (int i = 0; i < 3; ++i)
                stage[i] = start.leg[i].theta[0] + (theta1[i] - start.leg[i].theta[0]) * t;
            solved = newtonSolve(stage, p, p, k == stages ? poseOut : nullptr);
        }
        if (solved) {
            position = p;
            return true;
        }
    }
    return false;
}

void forceToCommands(const ArmPose& pose, const Vec3d& force, std::int16_t out[3]) {
    out[0] = out[1] = out[2] = 0;
    // Joint torque is J^T F with J = dp/dtheta, the inverse of angleJacobian.
    const Mat3d toPosition = angleJacobian(pose).inverse();
    if (!isFinite(force) || !toPosition.isFinite())
        return;
    const Vec3d torque = toPosition.transposed() * force;
    Vec3d command = torque * G::commandPerTorque;
    const double largest = largestAbs(command);
    if (largest > G::maxCommand)
        command *= G::maxCommand / largest;
    out[0] = static_cast<std::int16_t>(command.x);
    out[1] = static_cast<std::int16_t>(command.y);
    out[2] = static_cast<std::int16_t>(command.z);
}

Vec3d commandsToForce(const ArmPose& pose, const std::int16_t commands[3]) {
    // F = J^-T tau, and J^-1 is angleJacobian itself.
    const Vec3d torque = Vec3d(commands[0], commands[1], commands[2]) * (1.0 / G::commandPerTorque);
    return angleJacobian(pose).transposed() * torque;
}

bool PositionTracker::update(const std::int16_t encoders[3]) {
    const double theta1[3] = {encoderToAngle(encoders[0]), encoderToAngle(encoders[1]),
                              encoderToAngle(encoders[2])};
    Vec3d solved;
    ArmPose solvedPose;
    if (forwardKinematics(theta1, valid ? position : centre, solved, &solvedPose) ||
        (valid && forwardKinematics(theta1, centre, solved, &solvedPose))) {
        position = solved;
        pose = solvedPose;
        valid = true;
        return true;
    }
    return false;
}

} // namespace falcon
} // namespace Kiln
