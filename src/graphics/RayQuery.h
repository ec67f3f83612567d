#pragma once
// Which objects a ray meets, nearest first: what the selection sweep asks
// when the user points at the screen.
#include "scene/ObjectHandle.h"

#include <OgreRay.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace Ogre {
class Camera;
}

namespace Kiln {

class ObjectGroup;
class Object;

struct RayHit {
    ObjectHandle object;      ///< the Object hit
    float distance;           ///< along the ray, in world units
    std::size_t face;         ///< index of the nearest face hit
    Ogre::Vector3 point;      ///< world position of the hit
};

/// Every visible object under `root` (itself included) whose triangles the
/// world-space `ray` crosses, from either side, nearest first, one hit per
/// object. Hidden nodes hide their subtrees.
std::vector<RayHit> raycastObjects(ObjectGroup& root, const Ogre::Ray& ray);

/// The same for the ray from `camera` through the screen point (`x`, `y`),
/// given as fractions of the viewport (0,0 top left, 1,1 bottom right).
std::vector<RayHit> pickObjects(const Ogre::Camera& camera, ObjectGroup& root, float x, float y);

class RayTree;

/// Answers as raycastObjects does, but keeps a tree per large mesh between
/// queries, so that a query costs the triangles near the ray instead of all
/// of them (the mouse stylus asks every frame, a selection sweep up to 32
/// times a frame). A mesh gets its tree once its faces have stayed the same
/// for two queries, and the tree is refitted once its positions have; a mesh
/// that changes before every query is walked as raycastObjects walks it,
/// since a tree would cost more than it saves. Trees of meshes not met for a
/// while are dropped. Main thread only: it reads the meshes unlocked.
class RayCaster {
public:
    RayCaster();
    ~RayCaster();
    RayCaster(const RayCaster&) = delete;
    RayCaster& operator=(const RayCaster&) = delete;

    std::vector<RayHit> raycast(ObjectGroup& root, const Ogre::Ray& ray);

    /// Meshes that have a tree now (for tests and benchmarks).
    std::size_t treeCount() const;

    /// Meshes with fewer faces are always walked: their walk is cheap.
    static constexpr std::size_t kTreeFaces = 2048;

private:
    struct Entry;
    bool hit(Object& object, const Ogre::Ray& worldRay, RayHit& result);
    void dropStale();

    std::unordered_map<std::uint64_t, std::unique_ptr<Entry>> entries; ///< by mesh serial
    std::uint64_t queries = 0;
};

/// Distance along `ray` to the triangle (a, b, c), hit from either side;
/// negative when it misses or the triangle lies behind the origin.
float rayTriangleDistance(const Ogre::Ray& ray, const Ogre::Vector3& a, const Ogre::Vector3& b,
                          const Ogre::Vector3& c);

} // namespace Kiln
