#include "haptics/HapticShape.h"

#include <algorithm>

namespace Kiln {
namespace {

float clampUnit(float value) { return std::min(1.f, std::max(0.f, value)); }

} // namespace

HapticSimpleSurfaceInfo::HapticSimpleSurfaceInfo(float damping_, float stiffness_)
    : damping(clampUnit(damping_)), stiffness(clampUnit(stiffness_)) {}

std::shared_ptr<HapticSurfaceInfo> HapticSimpleSurfaceInfo::clone() const {
    return std::make_shared<HapticSimpleSurfaceInfo>(*this);
}

RuspiniShape::RuspiniShape() = default;

RuspiniShape::RuspiniShape(const RuspiniShape& other)
    : IHapticShape(other), std::enable_shared_from_this<RuspiniShape>(), owner(other.owner),
      frame(other.getFrame()), surfaceInfo(other.getSurfaceInfo()), side(other.getSide()) {}

void RuspiniShape::setSurfaceInfo(std::shared_ptr<HapticSurfaceInfo> info) {
    const std::lock_guard<std::mutex> lock(settingsMutex);
    surfaceInfo = std::move(info);
}

void RuspiniShape::setTransform(const Ogre::Vector3& position, const Ogre::Quaternion& orientation,
                                const Ogre::Vector3& scale) {
    Mat3d linear = rotationMatrix(Quatd{orientation.w, orientation.x, orientation.y, orientation.z});
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            linear.m[i][j] *= scale[j];
    const ShapeFrame placed = ShapeFrame::fromAffine(linear, {position.x, position.y, position.z});
    const std::lock_guard<std::mutex> lock(settingsMutex);
    frame = placed;
}

void RuspiniShape::setTransformMatrix(const float matrix[12]) {
    Mat3d linear;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            linear.m[i][j] = matrix[4 * i + j];
    const ShapeFrame placed =
        ShapeFrame::fromAffine(linear, {matrix[3], matrix[7], matrix[11]});
    const std::lock_guard<std::mutex> lock(settingsMutex);
    frame = placed;
}

void RuspiniShape::setSide(int value) { side.store(value, std::memory_order_relaxed); }

ShapeFrame RuspiniShape::getFrame() const {
    const std::lock_guard<std::mutex> lock(settingsMutex);
    return frame;
}

std::shared_ptr<HapticSurfaceInfo> RuspiniShape::getSurfaceInfo() const {
    const std::lock_guard<std::mutex> lock(settingsMutex);
    return surfaceInfo;
}

void RuspiniShape::beginTick() {
    const HapticSimpleSurfaceInfo* simple = nullptr;
    {
        const std::lock_guard<std::mutex> lock(settingsMutex);
        tick.frame = frame;
        simple = dynamic_cast<const HapticSimpleSurfaceInfo*>(surfaceInfo.get());
        // Without surface information a shape is rigid and undamped.
        tick.damping = simple ? simple->getDamping() : 0.f;
        tick.stiffness = simple ? simple->getStiffness() : 1.f;
    }
    tick.side = side.load(std::memory_order_relaxed);
}

} // namespace Kiln
