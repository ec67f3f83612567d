#pragma once
// Proxy ("god-object") haptic rendering: a sphere follows the device point
// but never passes through a shape; the force pulls the hand towards it.
// Runs as a global force effect on the haptic thread and publishes the proxy
// and the contacts of each tick for the main thread.
#include "hapticdevice/HapticForceEffect.h"
#include "haptics/HapticShape.h"
#include "hapticdevice/IHapticsDevice.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace Kiln {

/// One contact of the last tick (world frame, floats).
struct ContactRecord {
    std::weak_ptr<RuspiniShape> shape;
    Ogre::Vector3 force = Ogre::Vector3::ZERO;  ///< on the proxy, before the device gain
    Ogre::Vector3 torque = Ogre::Vector3::ZERO; ///< always zero
    Ogre::Vector3 point = Ogre::Vector3::ZERO;
    Ogre::Vector3 normal = Ogre::Vector3::ZERO;
    float depth = 0.f; ///< how far a soft surface gives way
};

/// The proxy renderer as the rest of the program sees it.
///
/// Units: positions, the radius and contact points are world units (the
/// device frame is handle travel in metres divided by the world scale);
/// forces are in units of the device's force gain per world unit of depth,
/// before that gain is applied.
///
/// Threads: computeWorldForce runs on the haptic thread only. Every other
/// call may come from any thread (in practice the main thread) at any time:
/// the shape list is locked, the radius is atomic, and the getters read the
/// proxy and contacts that the last completed tick published, so two
/// getters called one after the other may see different ticks.
class IHapticsRenderer : public IGlobalForceEffect {
public:
    /// Radius of the proxy sphere, > 0 and finite; taken at the next tick.
    virtual void setProxyRadius(double radius) = 0;
    virtual double getProxyRadius() = 0;
    /// The proxy centre after the last tick (world frame).
    virtual Ogre::Vector3 getProxyPosition() = 0;
    /// Shapes with a contact in the last tick, each once.
    virtual std::vector<std::shared_ptr<RuspiniShape>> getTouchedShapes() = 0;
    /// Shapes are shared with the renderer; adding one twice keeps one
    /// entry, and a removed shape takes no part from the next tick on.
    virtual void addShape(std::shared_ptr<RuspiniShape> shape) = 0;
    virtual void removeShape(const std::shared_ptr<RuspiniShape>& shape) = 0;
    virtual bool containsShape(const std::shared_ptr<RuspiniShape>& shape) = 0;
    /// While disabled, ticks touch no shape and push nothing (the proxy
    /// follows the device freely). A new renderer starts disabled.
    virtual void enable() = 0;
    virtual void disable() = 0;
    /// The force the proxy exerts on the shape (minus the contact forces),
    /// world frame; zero for a shape not touched in the last tick.
    virtual Ogre::Vector3 getShapeForce(const RuspiniShape* shape) = 0;
    /// Mean contact point on the shape, in the shape's local frame; zero
    /// for a shape not touched in the last tick.
    virtual Ogre::Vector3 getShapeContactPoint(const RuspiniShape* shape) = 0;
    /// -sum(normal * depth) over all contacts of the last tick, world
    /// frame: how far soft surfaces give way under the proxy.
    virtual Ogre::Vector3 getDeformationVector() = 0;
};

/// Work counts of one tick, for benchmarks.
struct RendererTickStats {
    std::size_t candidates = 0; ///< constraint records: triangles swept exactly
    std::size_t iterations = 0;
    std::size_t contacts = 0;
};

class RuspiniRenderer : public IHapticsRenderer {
public:
    /// Fraction of the way from the proxy to the device point that the
    /// proxy tries to go each tick.
    static constexpr double approachRate = 0.05;

    explicit RuspiniRenderer(double radius);

    void computeWorldForce(ForceTorque& out, IHapticsDevice& device, float dt) override;
    /// The tick itself, for callers without a device (benchmarks, tests):
    /// takes the world sample and returns the world force, gain applied.
    Vec3d tick(const DeviceSample& worldSample, double forceGain);

    void setProxyRadius(double radius) override;
    double getProxyRadius() override;
    Ogre::Vector3 getProxyPosition() override;
    /// As getProxyPosition, in double precision.
    Vec3d getProxy();
    std::vector<std::shared_ptr<RuspiniShape>> getTouchedShapes() override;
    void addShape(std::shared_ptr<RuspiniShape> shape) override;
    void removeShape(const std::shared_ptr<RuspiniShape>& shape) override;
    bool containsShape(const std::shared_ptr<RuspiniShape>& shape) override;
    void enable() override { enabled.store(true, std::memory_order_release); }
    void disable() override { enabled.store(false, std::memory_order_release); }
    bool isEnabled() const { return enabled.load(std::memory_order_acquire); }
    Ogre::Vector3 getShapeForce(const RuspiniShape* shape) override;
    Ogre::Vector3 getShapeContactPoint(const RuspiniShape* shape) override;
    Ogre::Vector3 getDeformationVector() override;
    /// The next tick puts the proxy at the device point instead of moving it
    /// there: for a jump of the device frame (the first placement), which
    /// the hand did not make and the proxy must not sweep through shapes.
    void reseatProxy() { reseatRequested.store(true, std::memory_order_release); }
    /// Copy of the published contacts.
    std::vector<ContactRecord> getContacts();
    /// Haptic thread (or the caller of tick): counts of the last tick.
    const RendererTickStats& lastTickStats() const { return stats; }

private:
    double earliestHit() const;
    bool advanceToNextContact(Vec3d& move);
    void dropDuplicateNormals(std::size_t firstNew);
    /// The constraints a move keeps, their multipliers and the move.
    struct ActiveSolution {
        int chosen[3] = {-1, -1, -1}; ///< positions in activeSet
        double lambda[3] = {0.0, 0.0, 0.0};
        int size = 0;
        Vec3d move;
    };
    bool solve(const Vec3d& d, Vec3d& move);
    bool findFreeMove(const Vec3d& d, ActiveSolution& solution);
    void keepChosen(const ActiveSolution& solution);
    void stopAgainstAll(const Vec3d& d);
    void updateCandidates(const Vec3d& move, double radius);
    Vec3d contactForces(const Vec3d& velocity);
    void publish();

    std::atomic<double> radius;
    double tickRadius = 0.0;

    std::mutex proxyMutex;
    Vec3d publishedProxy;
    Vec3d proxy; // haptic thread only
    bool proxyInitialised = false;
    std::atomic<bool> reseatRequested{false};

    std::mutex contactsMutex;
    std::vector<ContactRecord> publishedContacts;
    std::vector<ContactRecord> buildingContacts;

    std::atomic<bool> enabled{false};

    std::mutex shapesMutex;
    std::vector<std::shared_ptr<RuspiniShape>> shapes;
    std::unordered_map<const RuspiniShape*, std::size_t> shapeIndex;

    // Haptic-thread working sets, reused from tick to tick.
    std::vector<std::shared_ptr<RuspiniShape>> tickShapes;
    std::vector<ConstraintRecord> candidates; // shapes may add to it during the tick
    std::vector<std::size_t> activeSet;       // positions in candidates
    ConstraintRecord& active(std::size_t i) { return candidates[activeSet[i]]; }
    RendererTickStats stats;
};

} // namespace Kiln
