#pragma once
// Small fixtures shared by the haptics tests: flat squares as touchable
// shapes, a device with no hardware (DeviceTestSupport.h), and samples.
#include "../hapticdevice/DeviceTestSupport.h"
#include "haptics/IndexedShape.h"

#include <memory>

namespace HapticTest {

using Kiln::Vec3d;

/// Square of half-size `half` through `centre`, front face towards `normal`.
inline std::shared_ptr<Kiln::IndexedShape> makeSquare(const Vec3d& centre, const Vec3d& normal,
                                                      double half,
                                                      int side = Kiln::HapticSideOuter,
                                                      float damping = 0.f,
                                                      float stiffness = 1.f) {
    const Vec3d n = Kiln::normalised(normal);
    const Vec3d helper = std::fabs(n.x) < 0.9 ? Vec3d(1, 0, 0) : Vec3d(0, 1, 0);
    const Vec3d u = Kiln::normalised(Kiln::cross(helper, n));
    const Vec3d w = Kiln::cross(n, u);
    const Vec3d corners[4] = {centre - u * half - w * half, centre + u * half - w * half,
                              centre + u * half + w * half, centre - u * half + w * half};
    std::vector<float> positions;
    for (const Vec3d& c : corners)
        positions.insert(positions.end(), {float(c.x), float(c.y), float(c.z)});
    auto shape = std::make_shared<Kiln::IndexedShape>(positions,
                                                      std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3});
    shape->setSide(side);
    shape->setSurfaceInfo(std::make_shared<Kiln::HapticSimpleSurfaceInfo>(damping, stiffness));
    return shape;
}

inline Kiln::DeviceSample sampleAt(const Vec3d& position, const Vec3d& velocity = {}) {
    Kiln::DeviceSample sample;
    sample.position = position;
    sample.velocity = velocity;
    return sample;
}

} // namespace HapticTest
