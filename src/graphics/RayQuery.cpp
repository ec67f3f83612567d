#include "graphics/RayQuery.h"

#include "detail/RayTree.h"
#include "scene/Object.h"

#include <OgreCamera.h>

#include <algorithm>
#include <iterator>
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

/// The ray in an object's mesh space: an affine map keeps the ray
/// parameter, so distances stay world distances as long as the world
/// direction is a unit vector.
Ogre::Ray localRayOf(const Object& object, const Ogre::Ray& worldRay) {
    const Ogre::Matrix4& toLocal = object.getInverseWorldMatrix();
    return Ogre::Ray(toLocal * worldRay.getOrigin(), toLocal.linear() * worldRay.getDirection());
}

/// The nearest face crossed, by testing every one.
bool walkFaces(const DynamicMesh& mesh, const Ogre::Ray& localRay, float& distance, std::size_t& face) {
    const std::vector<Vertex>& vertices = mesh.getVertices();
    if (!localRay.intersects(boundsOf(vertices)).first)
        return false;
    float nearest = std::numeric_limits<float>::infinity();
    std::size_t nearestFace = 0;
    const std::size_t count = vertices.size();
    const std::vector<Face>& faces = mesh.getFaces();
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
    distance = nearest;
    face = nearestFace;
    return true;
}

bool hitObject(Object& object, const Ogre::Ray& worldRay, RayHit& hit) {
    const DynamicMesh* mesh = object.getMesh();
    if (!mesh || mesh->getFaceCount() == 0)
        return false;
    float distance = 0.0f;
    std::size_t face = 0;
    if (!walkFaces(*mesh, localRayOf(object, worldRay), distance, face))
        return false;
    hit = {object.getHandle(), distance, face, worldRay.getPoint(distance)};
    return true;
}

void sortNearestFirst(std::vector<RayHit>& hits) {
    std::stable_sort(hits.begin(), hits.end(),
                     [](const RayHit& a, const RayHit& b) { return a.distance < b.distance; });
}

/// The hits of every visible object under `node`, `hitOne(object, hit)`
/// telling whether one object is hit. Hidden nodes hide their subtrees.
template <typename HitOne>
void collectHits(ObjectGroup& node, std::vector<RayHit>& hits, HitOne&& hitOne) {
    if (!node.isVisible())
        return;
    RayHit hit{};
    if (node.isObject() && hitOne(static_cast<Object&>(node), hit))
        hits.push_back(hit);
    for (const auto& child : node.getChildren())
        collectHits(*child, hits, hitOne);
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
    collectHits(root, hits, [&](Object& object, RayHit& hit) { return hitObject(object, unitRay, hit); });
    sortNearestFirst(hits);
    return hits;
}

/// What the caster knows of one mesh: the faces and positions it last saw,
/// and the tree when it has one.
struct RayCaster::Entry {
    std::uint32_t topology = 0;     ///< topology revision last seen
    std::uint32_t positions = 0;    ///< position revision last seen
    std::size_t vertexCount = 0;
    std::size_t faceCount = 0;
    std::uint32_t treePositions = 0; ///< position revision the tree fits
    bool hasTree = false;
    std::uint64_t lastQuery = 0;
    RayTree tree;
};

RayCaster::RayCaster() = default;
RayCaster::~RayCaster() = default;

std::size_t RayCaster::treeCount() const {
    std::size_t count = 0;
    for (const auto& [serial, entry] : entries)
        count += entry->hasTree ? 1 : 0;
    return count;
}

std::vector<RayHit> RayCaster::raycast(ObjectGroup& root, const Ogre::Ray& ray) {
    ++queries;
    const Ogre::Ray unitRay(ray.getOrigin(), ray.getDirection().normalisedCopy());
    std::vector<RayHit> hits;
    collectHits(root, hits, [&](Object& object, RayHit& found) { return hit(object, unitRay, found); });
    sortNearestFirst(hits);
    dropStale();
    return hits;
}

bool RayCaster::hit(Object& object, const Ogre::Ray& worldRay, RayHit& result) {
    const DynamicMesh* mesh = object.getMesh();
    if (!mesh || mesh->getFaceCount() == 0)
        return false;
    if (mesh->getFaceCount() < kTreeFaces)
        return hitObject(object, worldRay, result);

    std::unique_ptr<Entry>& slot = entries[mesh->getSerial()];
    if (!slot)
        slot = std::make_unique<Entry>();
    Entry& entry = *slot;
    entry.lastQuery = queries;
    const bool sameFaces = entry.topology == mesh->getTopologyRevision() &&
                           entry.faceCount == mesh->getFaceCount() &&
                           entry.vertexCount == mesh->getVertexCount();
    const bool samePositions = sameFaces && entry.positions == mesh->getPositionRevision();
    if (!sameFaces) {
        entry.hasTree = false;
        entry.tree = RayTree();
    } else if (!entry.hasTree) {
        entry.tree.build(mesh->getVertices(), mesh->getFaces());
        entry.hasTree = true;
        entry.treePositions = mesh->getPositionRevision();
    } else if (samePositions && entry.treePositions != entry.positions) {
        entry.tree.refit(mesh->getVertices(), mesh->getFaces());
        entry.treePositions = entry.positions;
    }
    entry.topology = mesh->getTopologyRevision();
    entry.positions = mesh->getPositionRevision();
    entry.faceCount = mesh->getFaceCount();
    entry.vertexCount = mesh->getVertexCount();

    const Ogre::Ray localRay = localRayOf(object, worldRay);
    float distance = 0.0f;
    std::size_t face = 0;
    const bool treeFits = entry.hasTree && entry.treePositions == entry.positions;
    const bool found = treeFits ? entry.tree.nearest(localRay, mesh->getVertices(), mesh->getFaces(), distance, face)
                                : walkFaces(*mesh, localRay, distance, face);
    if (!found)
        return false;
    result = {object.getHandle(), distance, face, worldRay.getPoint(distance)};
    return true;
}

void RayCaster::dropStale() {
    // A mesh unseen for this many queries is gone, hidden or replaced.
    constexpr std::uint64_t kKeep = 256;
    for (auto it = entries.begin(); it != entries.end();)
        it = queries - it->second->lastQuery > kKeep ? entries.erase(it) : std::next(it);
}

std::vector<RayHit> pickObjects(const Ogre::Camera& camera, ObjectGroup& root, float x, float y) {
    return raycastObjects(root, camera.getCameraToViewportRay(x, y));
}

} // namespace Kiln
