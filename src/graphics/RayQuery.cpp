#include "graphics/RayQuery.h"

#include "scene/Object.h"

#include <OgreCamera.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Kiln {
namespace {

Ogre::AxisAlignedBox boundsOf(const std::vector<Vertex>& vertices) {
    Ogre::AxisAlignedBox box;
    for (const Vertex& vertex : vertices)
        box.merge(vertex.position);
    return box;
}

/// Nearest hit on one object's mesh, tested in the mesh's own space: an
/// affine map keeps the ray parameter, so distances stay world distances
/// as long as the world direction is a unit vector.
bool hitObject(Object& object, const Ogre::Ray& worldRay, RayHit& hit) {
    const DynamicMesh* mesh = object.getMesh();
    if (!mesh || mesh->getFaceCount() == 0)
        return false;
    const Ogre::Matrix4& toLocal = object.getInverseWorldMatrix();
    const Ogre::Ray localRay(toLocal * worldRay.getOrigin(),
                             toLocal.linear() * worldRay.getDirection());
    const std::vector<Vertex>& vertices = mesh->getVertices();
    if (!localRay.intersects(boundsOf(vertices)).first)
        return false;
    float nearest = std::numeric_limits<float>::infinity();
    std::size_t nearestFace = 0;
    const std::size_t count = vertices.size();
    const std::vector<Face>& faces = mesh->getFaces();
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const Face& f = faces[i];
        if (f.i0 >= count || f.i1 >= count || f.i2 >= count)
            continue;
        const float t = rayTriangleDistance(localRay, vertices[f.i0].position,
                                            vertices[f.i1].position, vertices[f.i2].position);
        if (t >= 0.0f && t < nearest) {
            nearest = t;
            nearestFace = i;
        }
    }
    if (!std::isfinite(nearest))
        return false;
    hit = {object.getHandle(), nearest, nearestFace, worldRay.getPoint(nearest)};
    return true;
}

void collectHits(ObjectGroup& node, const Ogre::Ray& ray, std::vector<RayHit>& hits) {
    if (!node.isVisible())
        return;
    RayHit hit{};
    if (node.isObject() && hitObject(static_cast<Object&>(node), ray, hit))
        hits.push_back(hit);
    for (const auto& child : node.getChildren())
        collectHits(*child, ray, hits);
}

} // namespace

float rayTriangleDistance(const Ogre::Ray& ray, const Ogre::Vector3& a, const Ogre::Vector3& b,
                          const Ogre::Vector3& c) {
    // Moeller-Trumbore, without culling back faces.
    const Ogre::Vector3 edge1 = b - a;
    const Ogre::Vector3 edge2 = c - a;
    const Ogre::Vector3 p = ray.getDirection().crossProduct(edge2);
    const float determinant = edge1.dotProduct(p);
    if (std::fabs(determinant) < 1e-12f)
        return -1.0f;
    const float inverse = 1.0f / determinant;
    const Ogre::Vector3 s = ray.getOrigin() - a;
    const float u = s.dotProduct(p) * inverse;
    if (u < 0.0f || u > 1.0f)
        return -1.0f;
    const Ogre::Vector3 q = s.crossProduct(edge1);
    const float v = ray.getDirection().dotProduct(q) * inverse;
    if (v < 0.0f || u + v > 1.0f)
        return -1.0f;
    return edge2.dotProduct(q) * inverse;
}

std::vector<RayHit> raycastObjects(ObjectGroup& root, const Ogre::Ray& ray) {
    const Ogre::Ray unitRay(ray.getOrigin(), ray.getDirection().normalisedCopy());
    std::vector<RayHit> hits;
    collectHits(root, unitRay, hits);
    std::stable_sort(hits.begin(), hits.end(),
                     [](const RayHit& a, const RayHit& b) { return a.distance < b.distance; });
    return hits;
}

std::vector<RayHit> pickObjects(const Ogre::Camera& camera, ObjectGroup& root, float x, float y) {
    return raycastObjects(root, camera.getCameraToViewportRay(x, y));
}

} // namespace Kiln
