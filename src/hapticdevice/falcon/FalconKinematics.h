#pragma once
// The Falcon's parallel (delta-type) arm: encoder counts to joint angles,
// angles to and from the grip position, and grip force to motor commands.
// Positions are metres in the device's fixed frame (+x to the user's right,
// +y up, +z out of the device towards the user; the usable workspace is
// about x, y in +-0.06 and z in 0.075..0.18). Angles are radians.
#include "hapticdevice/HapticMath.h"

#include <cstdint>

namespace Kiln {
namespace falcon {

/// Arm geometry in metres and the encoder and motor constants.
struct Geometry {
    static constexpr double a = 0.060;    ///< thigh: base pivot to knee
    static constexpr double b = 0.1025;   ///< shin parallelogram side
    static constexpr double c = 0.01443;  ///< shin attach point to effector centre, u
    static constexpr double d = 0.01125;  ///< shin to effector joint
    static constexpr double e = 0.01125;  ///< knee to shin joint
    static constexpr double f = -0.025;   ///< shin attach point to effector centre, v
    static constexpr double r = 0.0400;   ///< frame centre to leg base, u
    static constexpr double s = -0.02309; ///< frame centre to leg base, v
    /// Degrees of arm rotation per encoder count: the 1280 quadrature
    /// counts of a motor turn, geared down by the capstan (0.110 / 0.01425).
    static constexpr double degreesPerCount = 0.01425 * 360.0 / (4.0 * 320.0 * 0.110);
    static constexpr double degreesAtZeroCount = 35.0;
    /// Motor command per N m of arm torque; positive commands pull the grip in.
    static constexpr double commandPerTorque = -10000.0;
    /// Largest motor command sent; the firmware's own limit is not known,
    /// so this stays at what the device has always been driven with.
    static constexpr int maxCommand = 4095;
};

/// Leg angles: [0] the driven arm, [1] the knee, [2] the parallelogram.
struct LegAngles {
    double theta[3] = {0, 0, 0};
};

struct ArmPose {
    LegAngles leg[3];
};

/// Angle of the driven arm for an encoder count, and back (not rounded).
double encoderToAngle(double count);
double angleToEncoder(double angle);

/// The three legs' angles for a grip position; false when the position lies
/// outside the reach of some leg (then `out` is unspecified).
bool inverseKinematics(const Vec3d& position, ArmPose& out);

/// d(theta1)/d(position) for the three legs, rows by leg.
Mat3d angleJacobian(const ArmPose& pose);

/// Solves for the grip position whose driven-arm angles are `theta1`,
/// starting from `guess` (the previous solution: the arm has two
/// assemblies, and the guess picks the one the device is in). Returns false
/// and leaves `position` unchanged when it does not converge.
bool forwardKinematics(const double theta1[3], const Vec3d& guess, Vec3d& position,
                       ArmPose* pose = nullptr);

/// Motor commands for a grip force in newtons at `pose`. Commands beyond
/// maxCommand are scaled down together, so the force keeps its direction;
/// a non-finite force gives zero commands.
void forceToCommands(const ArmPose& pose, const Vec3d& force, std::int16_t out[3]);
/// The grip force that motor commands produce at `pose` (what the hand
/// feels): the inverse of forceToCommands below the clamp.
Vec3d commandsToForce(const ArmPose& pose, const std::int16_t commands[3]);

/// Keeps the previous solution between ticks and turns encoder counts into
/// positions; haptic-thread state, no allocation.
class PositionTracker {
public:
    /// The workspace centre: a sound start for an arm just homed.
    static constexpr Vec3d centre{0.0, 0.0, 0.150};

    /// Updates from a reading; false when the counts give no position (the
    /// previous position and pose stay).
    bool update(const std::int16_t encoders[3]);
    void reset() { position = centre; valid = false; }

    const Vec3d& getPosition() const { return position; }
    const ArmPose& getPose() const { return pose; }
    bool isValid() const { return valid; }

private:
    Vec3d position = centre;
    ArmPose pose;
    bool valid = false;
};

} // namespace falcon
} // namespace Kiln
