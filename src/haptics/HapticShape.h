#pragma once
// Touchable shapes for the proxy renderer. The main thread builds a shape,
// places it and hands it to the renderer; the haptic thread takes a snapshot
// of its placement, surface and side at the start of each tick, so the main
// thread may change them at any time without tearing a tick.
#include "haptics/SweepTypes.h"

#include <OgreQuaternion.h>
#include <OgreVector3.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace Kiln {

class HapticsPresenter;
class RuspiniShape;

class HapticSurfaceInfo {
public:
    virtual ~HapticSurfaceInfo() = default;
    virtual std::shared_ptr<HapticSurfaceInfo> clone() const = 0;
};

/// Damping and stiffness, each clamped to [0, 1].
class HapticSimpleSurfaceInfo : public HapticSurfaceInfo {
public:
    HapticSimpleSurfaceInfo(float damping, float stiffness);
    std::shared_ptr<HapticSurfaceInfo> clone() const override;

    float getDamping() const { return damping; }
    float getStiffness() const { return stiffness; }

private:
    float damping;
    float stiffness;
};

/// Which faces of a shape hold the proxy back.
enum HapticSide : int {
    HapticSideInner = 0, ///< only triangles the proxy starts behind
    HapticSideOuter = 1, ///< only triangles the proxy starts in front of
    HapticSideBoth = 2   ///< any other value: none
};

class IHapticShape {
public:
    virtual ~IHapticShape() = default;
    virtual void setSurfaceInfo(std::shared_ptr<HapticSurfaceInfo> info) = 0;
    /// Linear part = rotation with its columns scaled by `scale`.
    virtual void setTransform(const Ogre::Vector3& position, const Ogre::Quaternion& orientation,
                              const Ogre::Vector3& scale) = 0;
    /// 3x4 row-major affine matrix, translation in the last column.
    virtual void setTransformMatrix(const float matrix[12]) = 0;
    virtual void setSide(int side) = 0;
    virtual std::shared_ptr<IHapticShape> clone() const = 0;
};

/// Candidates hit within this fraction of the move of the earliest one are
/// taken together: they are one contact seen through several triangles.
constexpr double simultaneousHit = 1e-8;

/// One candidate triangle of one tick, in the renderer's reused list.
struct ConstraintRecord {
    RuspiniShape* shape = nullptr;
    int triangle = 0;    ///< the shape's own number for the triangle
    bool active = false;
    bool removed = false;
    double t = 0.0;      ///< time of impact, fraction of the move
    double lambda = 0.0; ///< multiplier of the solve (penetration measure)
    Vec3d contact;       ///< world
    Vec3d barycentric;
    Vec3d normal;        ///< world, towards the proxy
};

/// What the haptic thread uses of a shape during one tick.
struct ShapeTickState {
    ShapeFrame frame;
    float damping = 0.f;
    float stiffness = 1.f;
    int side = HapticSideOuter;
};

class RuspiniShape : public IHapticShape, public std::enable_shared_from_this<RuspiniShape> {
public:
    void setSurfaceInfo(std::shared_ptr<HapticSurfaceInfo> info) override;
    void setTransform(const Ogre::Vector3& position, const Ogre::Quaternion& orientation,
                      const Ogre::Vector3& scale) override;
    void setTransformMatrix(const float matrix[12]) override;
    void setSide(int side) override;

    void setOwner(HapticsPresenter* presenter) { owner = presenter; }
    HapticsPresenter* getOwner() const { return owner; }
    ShapeFrame getFrame() const;
    std::shared_ptr<HapticSurfaceInfo> getSurfaceInfo() const;
    int getSide() const { return side.load(std::memory_order_relaxed); }

    /// Haptic thread: snapshots placement, surface and side for the tick.
    void beginTick();
    const ShapeTickState& tickState() const { return tick; }

    /// Starts the shape's part of a tick: sweeps the sphere of `radius`
    /// moving from `proxy` by `move` against the shape, hits as far back as
    /// backTolerance of the move counting, and appends records for what it
    /// touches first. Every triangle hit within simultaneousHit of the
    /// shape's earliest hit gets an active record with its exact time; the
    /// others may get an inactive record or none, as the proxy stops before
    /// them.
    virtual void collectConstraints(std::vector<ConstraintRecord>& records, const Vec3d& proxy,
                                    const Vec3d& move, double radius, double backTolerance) = 0;
    /// The next move of the same tick, likewise: the shape's records (known
    /// by their position in `records`, which may grow here) are swept again
    /// or made inactive, except those marked removed, which are left alone.
    virtual void updateConstraints(std::vector<ConstraintRecord>& records, const Vec3d& proxy,
                                   const Vec3d& move, double radius, double backTolerance) = 0;

protected:
    RuspiniShape();
    RuspiniShape(const RuspiniShape& other);
    /// Whether the side setting lets a triangle hold the proxy back when
    /// the proxy starts `height` in front of its plane (n . x - d).
    bool sideAccepts(double height) const {
        switch (tick.side) {
        case HapticSideBoth:
            return true;
        case HapticSideOuter:
            return height >= 0.0;
        case HapticSideInner:
            return height < 0.0;
        default:
            return false;
        }
    }

private:
    HapticsPresenter* owner = nullptr;
    mutable std::mutex settingsMutex;
    ShapeFrame frame;
    std::shared_ptr<HapticSurfaceInfo> surfaceInfo;
    std::atomic<int> side{HapticSideOuter};
    ShapeTickState tick; // haptic thread only
};

} // namespace Kiln
