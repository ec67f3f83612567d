#include "mesh/MeshMeasures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <tuple>

using namespace Kiln;

namespace {

std::vector<Vertex> positions(std::initializer_list<Ogre::Vector3> points) {
    std::vector<Vertex> vertices;
    for (const Ogre::Vector3& p : points) {
        Vertex v;
        v.position = p;
        vertices.push_back(v);
    }
    return vertices;
}

// A unit tetrahedron, wound outwards, given as four separate triangles
// (12 vertices) the way an STL file stores it.
DynamicMesh soupTetrahedron() {
    const Ogre::Vector3 a(0, 0, 0), b(1, 0, 0), c(0, 1, 0), d(0, 0, 1);
    std::vector<Vertex> vertices = positions({a, c, b, a, b, d, a, d, c, b, c, d});
    std::vector<Face> faces;
    for (std::uint32_t f = 0; f < 4; ++f)
        faces.push_back(Face{3 * f, 3 * f + 1, 3 * f + 2});
    return DynamicMesh(vertices, faces);
}

} // namespace

TEST(MeshMeasures, WeldedSoupIsClosedWithPositiveVolume) {
    const DynamicMesh tetra = soupTetrahedron();
    EXPECT_TRUE(isClosed(tetra));
    EXPECT_NEAR(1.0 / 6.0, signedVolume(tetra), 1e-12);
    Ogre::Matrix4 scaled;
    scaled.makeTransform(Ogre::Vector3(10, 0, 0), Ogre::Vector3(2, 2, 2), Ogre::Quaternion::IDENTITY);
    EXPECT_NEAR(8.0 / 6.0, signedVolume(tetra, scaled), 1e-9);
    const Ogre::AxisAlignedBox box = bounds(tetra, scaled);
    EXPECT_EQ(Ogre::Vector3(10, 0, 0), box.getMinimum());
    EXPECT_EQ(Ogre::Vector3(12, 2, 2), box.getMaximum());
}

TEST(MeshMeasures, OpenAndInconsistentMeshesAreNotClosed) {
    DynamicMesh tetra = soupTetrahedron();
    std::vector<Face> faces = tetra.getFaces();
    faces.pop_back();
    DynamicMesh open(tetra.getVertices(), faces);
    EXPECT_FALSE(isClosed(open));
    faces = tetra.getFaces();
    std::swap(faces[0].i1, faces[0].i2);  // one face flipped
    EXPECT_FALSE(isClosed(DynamicMesh(tetra.getVertices(), faces)));
    // Out-of-range indices are never "closed".
    faces = tetra.getFaces();
    faces[0].i0 = 100;
    EXPECT_FALSE(isClosed(DynamicMesh(tetra.getVertices(), faces)));
    EXPECT_TRUE(isClosed(DynamicMesh()));
}

TEST(MeshMeasures, NonManifoldButWatertightCounts) {
    // Two tetrahedra sharing one edge: four faces meet there, every directed
    // edge still has a reversed partner.
    const Ogre::Vector3 a(0, 0, 0), b(1, 0, 0), c(0, 1, 0), d(0, 0, 1);
    const Ogre::Vector3 e(0, -1, 0), f(0, 0, -1);
    std::vector<Vertex> vertices = positions({a, b, c, d, e, f});
    std::vector<Face> faces{{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3},
                            {0, 4, 1}, {0, 1, 5}, {0, 5, 4}, {1, 4, 5}};
    const DynamicMesh pair(vertices, faces);
    EXPECT_TRUE(isClosed(pair));
    EXPECT_NEAR(2.0 / 6.0, signedVolume(pair), 1e-12);
    // Edges are matched by count, not merely found: a face given twice
    // uses its edges twice one way and once the other.
    std::vector<Face> doubled = faces;
    doubled.push_back(faces[3]);
    EXPECT_FALSE(isClosed(DynamicMesh(vertices, doubled)));
    // The face once more, reversed, balances every edge again.
    doubled.push_back(Face{faces[3].i0, faces[3].i2, faces[3].i1});
    EXPECT_TRUE(isClosed(DynamicMesh(vertices, doubled)));
}

TEST(MeshMeasures, WeldTreatsSignedZerosAsEqual) {
    const std::vector<Vertex> vertices =
        positions({{0, 0, 0}, {-0.0f, 0, 0}, {1, 0, 0}, {0, 0, 0}, {1, 0, 0}});
    EXPECT_EQ((std::vector<std::uint32_t>{0, 0, 2, 0, 2}), weldByPosition(vertices));
}

namespace {

// The soup tetrahedron's triangles as flat arrays, optionally moved.
MeshArrays soupArrays(double dx) {
    const DynamicMesh mesh = soupTetrahedron();
    MeshArrays arrays;
    for (const Vertex& v : mesh.getVertices())
        arrays.positions.insert(arrays.positions.end(), {v.position.x + dx, v.position.y, v.position.z});
    for (const Face& f : mesh.getFaces())
        arrays.indices.insert(arrays.indices.end(), {f.i0, f.i1, f.i2});
    return arrays;
}

} // namespace

TEST(MeshMeasures, FlatArraysMeasureLikeTheMesh) {
    MeshArrays arrays = soupArrays(0.0);
    EXPECT_TRUE(isClosed(arrays));
    EXPECT_NEAR(signedVolume(soupTetrahedron()), signedVolume(arrays), 1e-15);
    // Volume does not depend on where the closed mesh sits.
    EXPECT_NEAR(1.0 / 6.0, signedVolume(soupArrays(10.0)), 1e-10);

    MeshArrays open = arrays;
    open.indices.resize(9);
    EXPECT_FALSE(isClosed(open));
    MeshArrays outOfRange = arrays;
    outOfRange.indices[4] = 12;
    EXPECT_FALSE(isClosed(outOfRange));
    EXPECT_TRUE(isClosed(MeshArrays()));
}

TEST(MeshMeasures, WeldMatchesAnOrderedMapOverManyRepeats) {
    // Enough vertices to grow the weld's table several times, positions
    // repeating with a short period so that chains of collisions form.
    std::vector<Vertex> vertices;
    std::vector<double> flat;
    for (int i = 0; i < 20000; ++i) {
        Vertex v;
        v.position = Ogre::Vector3(float(i % 97), float(i % 89) * 0.5f, -float(i % 3));
        vertices.push_back(v);
        flat.insert(flat.end(), {v.position.x, v.position.y, v.position.z});
    }
    std::map<std::tuple<float, float, float>, std::uint32_t> first;
    std::vector<std::uint32_t> expected;
    for (std::uint32_t v = 0; v < vertices.size(); ++v) {
        const Ogre::Vector3& p = vertices[v].position;
        expected.push_back(first.emplace(std::make_tuple(p.x, p.y, p.z), v).first->second);
    }
    EXPECT_EQ(expected, weldByPosition(vertices));
    EXPECT_EQ(expected, weldByPosition(flat.data(), vertices.size()));
}

TEST(MeshMeasures, NaNPositionsNeverWeld) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<Vertex> vertices = positions({{nan, 0, 0}, {nan, 0, 0}, {1, 0, 0}, {1, 0, 0}});
    EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 2, 2}), weldByPosition(vertices));
}

namespace {

// Closedness by definition: every pair of welded vertices joined as often
// in one direction as in the other, edges within one position ignored.
bool closedByCounting(const std::vector<Vertex>& vertices, const std::vector<Face>& faces) {
    const std::vector<std::uint32_t> canonical = weldByPosition(vertices);
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> balance;
    for (const Face& face : faces)
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = canonical[face[k]], b = canonical[face[(k + 1) % 3]];
            if (a != b)
                balance[{std::min(a, b), std::max(a, b)}] += a < b ? 1 : -1;
        }
    return std::all_of(balance.begin(), balance.end(), [](const auto& entry) { return entry.second == 0; });
}

} // namespace

TEST(MeshMeasures, ClosednessMatchesCountingOnRandomMeshes) {
    // Faces come with their reverses (closed), then a few are disturbed:
    // dropped, flipped, doubled, or given a corner copied to a new vertex at
    // the same position (still closed by position, no longer by index).
    std::uint32_t state = 12345;
    const auto next = [&](std::uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    };
    int closedSeen = 0, openSeen = 0;
    for (int round = 0; round < 600; ++round) {
        std::vector<Vertex> vertices;
        const std::uint32_t points = 4 + next(12);
        for (std::uint32_t v = 0; v < points; ++v)
            vertices.push_back(positions({{float(next(3)), float(next(3)), float(next(2))}})[0]);
        std::vector<Face> faces;
        for (std::uint32_t f = 0, count = 1 + next(10); f < count; ++f) {
            const Face face{next(points), next(points), next(points)};
            faces.push_back(face);
            faces.push_back(Face{face.i0, face.i2, face.i1});
        }
        for (std::uint32_t change = 0, count = next(3); change < count; ++change) {
            Face& face = faces[next(std::uint32_t(faces.size()))];
            switch (next(4)) {
            case 0: face = faces.back(); faces.pop_back(); break;
            case 1: std::swap(face.i1, face.i2); break;
            case 2: faces.push_back(face); break;
            default:
                vertices.push_back(vertices[face.i0]);
                face.i0 = std::uint32_t(vertices.size() - 1);
            }
        }
        const bool expected = closedByCounting(vertices, faces);
        (expected ? closedSeen : openSeen)++;
        const DynamicMesh mesh(vertices, faces);
        ASSERT_EQ(expected, isClosed(mesh)) << "round " << round;
        MeshArrays arrays;
        for (const Vertex& v : vertices)
            arrays.positions.insert(arrays.positions.end(), {v.position.x, v.position.y, v.position.z});
        for (const Face& f : faces)
            arrays.indices.insert(arrays.indices.end(), {f.i0, f.i1, f.i2});
        ASSERT_EQ(expected, isClosed(arrays)) << "round " << round;
    }
    // Both answers must have come up often for the comparison to mean much.
    EXPECT_GT(closedSeen, 150);
    EXPECT_GT(openSeen, 150);
}
