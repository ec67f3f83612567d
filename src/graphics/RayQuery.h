#pragma once
// Which objects a ray meets, nearest first: what the selection sweep asks
// when the user points at the screen.
#include "scene/ObjectHandle.h"

#include <OgreRay.h>

#include <cstddef>
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

/// Distance along `ray` to the triangle (a, b, c), hit from either side;
/// negative when it misses or the triangle lies behind the origin.
float rayTriangleDistance(const Ogre::Ray& ray, const Ogre::Vector3& a, const Ogre::Vector3& b,
                          const Ogre::Vector3& c);

} // namespace Kiln
