#include "mesh/MeshMeasures.h"

#include "mesh/FlatIndexTable.h"

#include <algorithm>

namespace Kiln {

namespace {

// Weld over any position array: `at(v)` gives vertex v's position with
// operator[] for its three coordinates.
template <typename PositionOf>
std::vector<std::uint32_t> weld(std::size_t vertexCount, PositionOf at) {
    std::vector<std::uint32_t> canonical(vertexCount);
    FlatIndexTable first(vertexCount);
    constexpr std::uint32_t ahead = 16; // a table larger than the cache stalls on every vertex
    for (std::uint32_t v = 0; v < vertexCount; ++v) {
        if (v + ahead < vertexCount) {
            const auto& q = at(v + ahead);
            first.prefetch(hashPosition(q[0], q[1], q[2]));
        }
        const auto& p = at(v);
        canonical[v] = first.findOrAdd(hashPosition(p[0], p[1], p[2]), v, [&](std::uint32_t other) {
            const auto& q = at(other);
            return q[0] == p[0] && q[1] == p[1] && q[2] == p[2];
        });
    }
    return canonical;
}

// Every edge between the vertices given by `vertexOf` matched by as many
// edges running the other way; `corner(f, k)` is corner k of face f.
// Directed edges are bucketed by their lower vertex (a counting sort), each
// entry the upper vertex with the direction in its low bit, and each bucket
// (a vertex's few edges) sorted: a vertex pair is then one run holding both
// directions, and no lookup leaves the bucket. Linear in the faces and
// cache-friendly. An edge from a vertex to itself (two corners at one
// position) is its own reverse. Contract: every corner below vertexCount,
// vertexCount < 2^32.
template <typename CornerOf, typename VertexOf>
bool edgesMatch(std::size_t vertexCount, std::size_t faceCount, CornerOf corner, VertexOf vertexOf) {
    std::vector<std::uint32_t> start(vertexCount + 1, 0);
    for (std::size_t f = 0; f < faceCount; ++f)
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = vertexOf(corner(f, k)), b = vertexOf(corner(f, (k + 1) % 3));
            if (a != b)
                ++start[std::min(a, b) + 1];
        }
    for (std::size_t v = 0; v < vertexCount; ++v)
        start[v + 1] += start[v];
    std::vector<std::uint64_t> entries(start[vertexCount]);
    {
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        for (std::size_t f = 0; f < faceCount; ++f)
            for (int k = 0; k < 3; ++k) {
                const std::uint32_t a = vertexOf(corner(f, k)), b = vertexOf(corner(f, (k + 1) % 3));
                if (a != b)
                    entries[fill[std::min(a, b)]++] = std::uint64_t(std::max(a, b)) << 1 | (a < b ? 1u : 0u);
            }
    }
    for (std::size_t v = 0; v < vertexCount; ++v) {
        const auto bucketEnd = entries.begin() + start[v + 1];
        auto run = entries.begin() + start[v];
        std::sort(run, bucketEnd);
        while (run != bucketEnd) {
            const std::uint64_t upper = *run >> 1;
            std::ptrdiff_t balance = 0;
            for (; run != bucketEnd && *run >> 1 == upper; ++run)
                balance += (*run & 1) ? 1 : -1;
            if (balance != 0)
                return false;
        }
    }
    return true;
}

// Closed once corners at one position count as one vertex. Matching the
// corners' own indices first spares the weld for meshes already welded,
// as imported and computed meshes are: merging vertices keeps every
// balanced pair of edge directions balanced, so a mesh closed by index is
// closed by position too.
template <typename CornerOf, typename Weld>
bool closedByPosition(std::size_t vertexCount, std::size_t faceCount, CornerOf corner, Weld weldPositions) {
    // An index out of range is never closed.
    for (std::size_t f = 0; f < faceCount; ++f)
        for (int k = 0; k < 3; ++k)
            if (corner(f, k) >= vertexCount)
                return false;
    if (edgesMatch(vertexCount, faceCount, corner, [](std::uint32_t v) { return v; }))
        return true;
    const std::vector<std::uint32_t> canonical = weldPositions();
    return edgesMatch(vertexCount, faceCount, corner, [&](std::uint32_t v) { return canonical[v]; });
}

// Six times the signed volume of the tetrahedron (origin, a, b, c).
double tripleProduct(const double a[3], const double b[3], const double c[3]) {
    return a[0] * (b[1] * c[2] - b[2] * c[1]) + a[1] * (b[2] * c[0] - b[0] * c[2]) +
           a[2] * (b[0] * c[1] - b[1] * c[0]);
}

} // namespace

std::vector<std::uint32_t> weldByPosition(const std::vector<Vertex>& vertices) {
    return weld(vertices.size(), [&](std::uint32_t v) -> const Ogre::Vector3& { return vertices[v].position; });
}

std::vector<std::uint32_t> weldByPosition(const double* positions, std::size_t vertexCount) {
    return weld(vertexCount, [&](std::uint32_t v) { return positions + 3 * v; });
}

bool isClosed(const DynamicMesh& mesh) {
    const std::vector<Face>& faces = mesh.getFaces();
    return closedByPosition(mesh.getVertexCount(), faces.size(), [&](std::size_t f, int k) { return faces[f][k]; },
                            [&] { return weldByPosition(mesh.getVertices()); });
}

bool isClosed(const MeshArrays& mesh) {
    return closedByPosition(mesh.vertexCount(), mesh.triangleCount(),
                            [&](std::size_t f, int k) { return mesh.indices[3 * f + k]; },
                            [&] { return weldByPosition(mesh.positions.data(), mesh.vertexCount()); });
}

double signedVolume(const DynamicMesh& mesh, const Ogre::Matrix4& transform) {
    const std::vector<Vertex>& vertices = mesh.getVertices();
    std::vector<double> world(3 * vertices.size());
    for (std::size_t v = 0; v < vertices.size(); ++v) {
        const Ogre::Vector3 p = transform * vertices[v].position;
        for (int k = 0; k < 3; ++k)
            world[3 * v + k] = p[k];
    }
    double sum = 0.0;
    const std::size_t count = vertices.size();
    for (const Face& face : mesh.getFaces())
        if (face.i0 < count && face.i1 < count && face.i2 < count)
            sum += tripleProduct(&world[3 * face.i0], &world[3 * face.i1], &world[3 * face.i2]);
    return sum / 6.0;
}

double signedVolume(const MeshArrays& mesh) {
    const std::size_t count = mesh.vertexCount();
    double sum = 0.0;
    for (std::size_t t = 0; t < mesh.triangleCount(); ++t) {
        const std::uint32_t* corner = &mesh.indices[3 * t];
        if (corner[0] < count && corner[1] < count && corner[2] < count)
            sum += tripleProduct(&mesh.positions[3 * corner[0]], &mesh.positions[3 * corner[1]],
                                 &mesh.positions[3 * corner[2]]);
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
