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
    for (std::uint32_t v = 0; v < vertexCount; ++v) {
        const auto& p = at(v);
        canonical[v] = first.findOrAdd(hashPosition(p[0], p[1], p[2]), v, [&](std::uint32_t other) {
            const auto& q = at(other);
            return q[0] == p[0] && q[1] == p[1] && q[2] == p[2];
        });
    }
    return canonical;
}

// Every directed edge between welded vertices matched by as many reversed
// ones; `corner(f, k)` is corner k of face f. Edges are bucketed by their
// start vertex (a counting sort) and each bucket sorted by end vertex, so a
// reverse edge is found among a vertex's few edges instead of in one sorted
// array of all of them: linear in the faces and cache-friendly.
template <typename CornerOf>
bool edgesMatch(const std::vector<std::uint32_t>& canonical, std::size_t faceCount, CornerOf corner) {
    const std::size_t vertexCount = canonical.size();
    std::vector<std::uint32_t> start(vertexCount + 1, 0);
    for (std::size_t f = 0; f < faceCount; ++f)
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = corner(f, k);
            if (a >= vertexCount)
                return false;
            ++start[canonical[a] + 1];
        }
    for (std::size_t v = 0; v < vertexCount; ++v)
        start[v + 1] += start[v];
    std::vector<std::uint32_t> ends(start[vertexCount]);
    {
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        for (std::size_t f = 0; f < faceCount; ++f)
            for (int k = 0; k < 3; ++k)
                ends[fill[canonical[corner(f, k)]]++] = canonical[corner(f, (k + 1) % 3)];
    }
    for (std::size_t v = 0; v < vertexCount; ++v)
        std::sort(ends.begin() + start[v], ends.begin() + start[v + 1]);
    for (std::uint32_t v = 0; v < vertexCount; ++v) {
        const auto bucketEnd = ends.begin() + start[v + 1];
        for (auto run = ends.begin() + start[v]; run != bucketEnd;) {
            const std::uint32_t end = *run;
            const auto runEnd = std::upper_bound(run, bucketEnd, end);
            const auto reverse =
                std::equal_range(ends.begin() + start[end], ends.begin() + start[end + 1], v);
            if (reverse.second - reverse.first != runEnd - run)
                return false;
            run = runEnd;
        }
    }
    return true;
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
    return edgesMatch(weldByPosition(mesh.getVertices()), faces.size(),
                      [&](std::size_t f, int k) { return faces[f][k]; });
}

bool isClosed(const MeshArrays& mesh) {
    return edgesMatch(weldByPosition(mesh.positions.data(), mesh.vertexCount()), mesh.triangleCount(),
                      [&](std::size_t f, int k) { return mesh.indices[3 * f + k]; });
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
