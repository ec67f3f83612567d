#include "detail/ShadowEdges.h"

#include "mesh/MeshMeasures.h"

#include <cstdint>
#include <unordered_map>

namespace Kiln {
namespace {

constexpr std::size_t kNoTriangle = ~std::size_t(0);

Ogre::Vector4 faceNormal(const Ogre::Vector3& a, const Ogre::Vector3& b, const Ogre::Vector3& c) {
    // Unnormalised, as the engine's light facing test expects.
    const Ogre::Vector3 n = (b - a).crossProduct(c - a);
    return {n.x, n.y, n.z, -n.dotProduct(a)};
}

std::uint64_t edgeKey(std::size_t from, std::size_t to) {
    return (std::uint64_t(from) << 32) | std::uint64_t(to);
}

/// Adds the edge from corner `from` to corner `to` of triangle `t`: it
/// closes an open edge running the other way, or starts a new one.
void connectOrCreateEdge(Ogre::EdgeData::EdgeList& edges,
                         std::unordered_map<std::uint64_t, std::size_t>& openEdges, std::size_t t,
                         std::size_t from, std::size_t to, std::size_t sharedFrom, std::size_t sharedTo) {
    const auto reverse = openEdges.find(edgeKey(sharedTo, sharedFrom));
    if (reverse != openEdges.end()) {
        Ogre::EdgeData::Edge& edge = edges[reverse->second];
        edge.triIndex[1] = t;
        edge.degenerate = false;
        openEdges.erase(reverse);
        return;
    }
    Ogre::EdgeData::Edge edge;
    edge.triIndex[0] = t;
    edge.triIndex[1] = kNoTriangle;
    edge.vertIndex[0] = from;
    edge.vertIndex[1] = to;
    edge.sharedVertIndex[0] = sharedFrom;
    edge.sharedVertIndex[1] = sharedTo;
    edge.degenerate = true;
    // A third face on the same directed edge starts a pair of its own.
    openEdges[edgeKey(sharedFrom, sharedTo)] = edges.size();
    edges.push_back(edge);
}

} // namespace

std::unique_ptr<Ogre::EdgeData> buildShadowEdges(const std::vector<Vertex>& vertices,
                                                 const std::vector<Face>& faces,
                                                 const Ogre::VertexData* vertexData) {
    const std::vector<std::uint32_t> shared = weldByPosition(vertices);
    auto data = std::make_unique<Ogre::EdgeData>();
    Ogre::EdgeData::EdgeGroup group;
    group.vertexSet = 0;
    group.vertexData = vertexData;
    group.triStart = 0;
    std::unordered_map<std::uint64_t, std::size_t> openEdges;
    const std::size_t count = vertices.size();
    for (const Face& face : faces) {
        const std::size_t corner[3] = {face.i0, face.i1, face.i2};
        if (corner[0] >= count || corner[1] >= count || corner[2] >= count)
            continue;
        const std::size_t s[3] = {shared[corner[0]], shared[corner[1]], shared[corner[2]]};
        if (s[0] == s[1] || s[1] == s[2] || s[0] == s[2])
            continue;
        const std::size_t t = data->triangles.size();
        Ogre::EdgeData::Triangle triangle;
        for (int k = 0; k < 3; ++k) {
            triangle.vertIndex[k] = corner[k];
            triangle.sharedVertIndex[k] = s[k];
        }
        data->triangles.push_back(triangle);
        for (int k = 0; k < 3; ++k)
            connectOrCreateEdge(group.edges, openEdges, t, corner[k], corner[(k + 1) % 3], s[k],
                                s[(k + 1) % 3]);
    }
    if (data->triangles.empty())
        return nullptr;
    group.triCount = data->triangles.size();
    data->isClosed = openEdges.empty();
    data->edgeGroups.push_back(std::move(group));
    data->triangleFaceNormals.resize(data->triangles.size());
    data->triangleLightFacings.resize(data->triangles.size());
    updateShadowFaceNormals(*data, vertices);
    return data;
}

void updateShadowFaceNormals(Ogre::EdgeData& edges, const std::vector<Vertex>& vertices) {
    const std::size_t count = edges.triangles.size();
    for (std::size_t t = 0; t < count; ++t) {
        const std::size_t* corner = edges.triangles[t].vertIndex;
        edges.triangleFaceNormals[t] = faceNormal(vertices[corner[0]].position,
                                                  vertices[corner[1]].position,
                                                  vertices[corner[2]].position);
    }
}

} // namespace Kiln
