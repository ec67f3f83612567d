#include "mesh/MeshMeasures.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace Kiln {

namespace {

struct PositionKey {
    std::uint32_t bits[3];
    bool operator==(const PositionKey& other) const {
        return bits[0] == other.bits[0] && bits[1] == other.bits[1] && bits[2] == other.bits[2];
    }
};

struct PositionHash {
    std::size_t operator()(const PositionKey& key) const {
        std::uint64_t h = key.bits[0] * 0x9E3779B97F4A7C15ull;
        h ^= (key.bits[1] + 0x7F4A7C159E3779B9ull + (h << 6) + (h >> 2));
        h ^= (key.bits[2] + 0x94D049BB133111EBull + (h << 6) + (h >> 2));
        return static_cast<std::size_t>(h ^ (h >> 31));
    }
};

PositionKey keyOf(const Ogre::Vector3& p) {
    PositionKey key;
    for (int k = 0; k < 3; ++k) {
        const float value = p[k] + 0.0f;  // folds -0 onto +0
        std::memcpy(&key.bits[k], &value, sizeof value);
    }
    return key;
}

} // namespace

std::vector<std::uint32_t> weldByPosition(const std::vector<Vertex>& vertices) {
    std::vector<std::uint32_t> canonical(vertices.size());
    std::unordered_map<PositionKey, std::uint32_t, PositionHash> first;
    first.reserve(vertices.size());
    for (std::uint32_t v = 0; v < vertices.size(); ++v)
        canonical[v] = first.emplace(keyOf(vertices[v].position), v).first->second;
    return canonical;
}

bool isClosed(const DynamicMesh& mesh) {
    const std::vector<std::uint32_t> canonical = weldByPosition(mesh.getVertices());
    const std::vector<Face>& faces = mesh.getFaces();
    const std::uint32_t vertexCount = static_cast<std::uint32_t>(canonical.size());
    std::vector<std::uint64_t> edges;
    edges.reserve(faces.size() * 3);
    for (const Face& face : faces)
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = face[k];
            const std::uint32_t b = face[(k + 1) % 3];
            if (a >= vertexCount || b >= vertexCount)
                return false;
            edges.push_back((std::uint64_t(canonical[a]) << 32) | canonical[b]);
        }
    std::sort(edges.begin(), edges.end());
    for (std::size_t i = 0; i < edges.size();) {
        std::size_t j = i;
        while (j < edges.size() && edges[j] == edges[i])
            ++j;
        const std::uint64_t reverse = (edges[i] << 32) | (edges[i] >> 32);
        const auto range = std::equal_range(edges.begin(), edges.end(), reverse);
        if (static_cast<std::size_t>(range.second - range.first) != j - i)
            return false;
        i = j;
    }
    return true;
}

double signedVolume(const DynamicMesh& mesh, const Ogre::Matrix4& transform) {
    const std::vector<Vertex>& vertices = mesh.getVertices();
    std::vector<Ogre::Vector3> world(vertices.size());
    for (std::size_t v = 0; v < vertices.size(); ++v)
        world[v] = transform * vertices[v].position;
    double sum = 0.0;
    for (const Face& face : mesh.getFaces()) {
        if (face.i0 >= world.size() || face.i1 >= world.size() || face.i2 >= world.size())
            continue;
        const Ogre::Vector3& a = world[face.i0];
        const Ogre::Vector3& b = world[face.i1];
        const Ogre::Vector3& c = world[face.i2];
        const double ax = a.x, ay = a.y, az = a.z, bx = b.x, by = b.y, bz = b.z;
        const double cx = c.x, cy = c.y, cz = c.z;
        sum += ax * (by * cz - bz * cy) + ay * (bz * cx - bx * cz) + az * (bx * cy - by * cx);
    }
    return sum / 6.0;
}

Ogre::AxisAlignedBox bounds(const DynamicMesh& mesh, const Ogre::Matrix4& transform) {
    Ogre::AxisAlignedBox box;
    for (const Vertex& vertex : mesh.getVertices())
        box.merge(transform * vertex.position);
    return box;
}

} // namespace Kiln
