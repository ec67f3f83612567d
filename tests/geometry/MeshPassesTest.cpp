#include "geometry/MeshCleanup.h"
#include "geometry/MeshEdges.h"
#include "geometry/ReductionPass.h"
#include "geometry/SubdivisionPass.h"

#include "mesh/MeshEditor.h"
#include "mesh/MeshMeasures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

using namespace Kiln;

namespace {

Vertex at(float x, float y, float z = 0.0f) {
    Vertex v;
    v.position = {x, y, z};
    return v;
}

/// An n x n grid of unit squares in the plane z = 0, facing +z.
DynamicMesh grid(int n) {
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x)
            vertices.push_back(at(static_cast<float>(x), static_cast<float>(y)));
    auto id = [n](int x, int y) { return static_cast<std::uint32_t>(y * (n + 1) + x); };
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            faces.push_back({id(x, y), id(x + 1, y), id(x + 1, y + 1)});
            faces.push_back({id(x, y), id(x + 1, y + 1), id(x, y + 1)});
        }
    return DynamicMesh(vertices, faces);
}

/// Twice the signed area of each face seen from +z must be positive.
void expectAllFacingUp(const std::vector<Vertex>& vertices, const std::vector<Face>& faces, double area) {
    double sum = 0.0;
    for (const Face& f : faces) {
        const Ogre::Vector3 n =
            (vertices[f.i1].position - vertices[f.i0].position).crossProduct(vertices[f.i2].position - vertices[f.i0].position);
        EXPECT_GT(n.z, 0.0f);
        sum += 0.5 * n.z;
    }
    EXPECT_NEAR(sum, area, 1e-5);
}

} // namespace

TEST(MeshEdges, EdgeListSlotsAndNeighbours) {
    DynamicMesh mesh = grid(1); // two triangles sharing the diagonal 0-3
    const VertexFaceIndex index(mesh.getFaces(), mesh.getVertexCount());
    const std::vector<EdgeRecord> edges = edgeList(index);
    ASSERT_EQ(edges.size(), 5u);
    int boundary = 0;
    for (const EdgeRecord& e : edges) {
        if (e.face0 == e.face1)
            ++boundary;
        else
            EXPECT_EQ(std::min(e.vertexA, e.vertexB), 0u);
    }
    EXPECT_EQ(boundary, 4);
    const Face f{4, 7, 9};
    EXPECT_EQ(edgeSlot(f, 7, 4), 0);
    EXPECT_EQ(edgeSlot(f, 7, 9), 1);
    EXPECT_EQ(edgeSlot(f, 4, 9), 2);
    EXPECT_EQ(edgeSlot(f, 4, 5), -1);
    std::vector<std::uint32_t> around;
    index.neighbours(0, around);
    std::sort(around.begin(), around.end());
    EXPECT_EQ(around, (std::vector<std::uint32_t>{1, 2, 3}));
}

TEST(SubdivisionPass, SplitPatterns) {
    const std::vector<Vertex> triangle = {at(0, 0), at(2, 0), at(0, 2)};
    const Face face{0, 1, 2};
    // Edge records of the lone (boundary) face: a-b, b-c, c-a.
    const EdgeRecord ab{0, 0, 0, 1}, bc{0, 0, 1, 2}, ca{0, 0, 2, 0};
    for (const auto& chosen : std::vector<std::vector<EdgeRecord>>{{ab}, {bc}, {ca}, {ab, bc}, {ab, ca}, {bc, ca}}) {
        std::vector<Vertex> vertices = triangle;
        std::vector<Face> faces = {face};
        subdivisionPass(chosen, vertices, faces);
        EXPECT_EQ(faces.size(), chosen.size() + 1);
        EXPECT_EQ(vertices.size(), 3 + chosen.size());
        expectAllFacingUp(vertices, faces, 2.0);
    }
    std::vector<Vertex> vertices = triangle;
    std::vector<Face> faces = {face};
    subdivisionPass({ab, bc, ca}, vertices, faces);
    ASSERT_EQ(faces.size(), 4u);
    EXPECT_EQ(faces[0], (Face{3, 4, 5})); // the centre triangle took the face's place
    expectAllFacingUp(vertices, faces, 2.0);
    EXPECT_EQ(vertices[3].position, Ogre::Vector3(1, 0, 0));
}

TEST(SubdivisionPass, AveragesColourAndParameters) {
    std::vector<Vertex> vertices = {at(0, 0), at(2, 0), at(0, 2)};
    vertices[0].colour = Ogre::ColourValue(1, 0, 0, 1);
    vertices[1].colour = Ogre::ColourValue(0, 0, 1, 0);
    vertices[1].u = 1.0f;
    std::vector<Face> faces = {{0, 1, 2}};
    subdivisionPass({{0, 0, 0, 1}}, vertices, faces);
    EXPECT_EQ(vertices[3].colour, Ogre::ColourValue(0.5f, 0, 0.5f, 0.5f));
    EXPECT_EQ(vertices[3].u, 0.5f);
}

TEST(SubdivisionPass, WholeClosedMeshStaysClosed) {
    auto cube = MeshEditor::createNewDynamicMesh(static_cast<int>(PrimitiveType::Cube), Ogre::ColourValue::White);
    const double volume = signedVolume(*cube);
    const std::size_t faces = cube->getFaceCount();
    subdivideWholeMesh(*cube);
    EXPECT_EQ(cube->getFaceCount(), 4 * faces);
    EXPECT_TRUE(isClosed(*cube));
    EXPECT_NEAR(signedVolume(*cube), volume, 1e-5 * volume);
}

TEST(SubdivisionPass, MeshesNearTheFloatLimitStayFinite) {
    // Midpoints as (a + b) / 2 overflowed for coordinates beyond 1.7e38.
    auto cube = MeshEditor::createNewDynamicMesh(static_cast<int>(PrimitiveType::Cube), Ogre::ColourValue::White);
    std::vector<Vertex> vertices = cube->getVertices();
    float largest = 0.0f;
    for (const Vertex& v : vertices)
        largest = std::max(largest, v.position.x);
    for (Vertex& v : vertices)
        v.position *= 3e38f / largest;
    DynamicMesh huge(vertices, cube->getFaces());
    const double volume = signedVolume(huge);
    subdivideWholeMesh(huge);
    for (const Vertex& v : huge.getVertices())
        ASSERT_TRUE(std::isfinite(v.position.x) && std::isfinite(v.position.y) && std::isfinite(v.position.z));
    EXPECT_TRUE(isClosed(huge));
    EXPECT_NEAR(signedVolume(huge) / volume, 1.0, 1e-5);
    reduceWholeMesh(huge);
    for (const Vertex& v : huge.getVertices())
        ASSERT_TRUE(std::isfinite(v.position.x) && std::isfinite(v.position.y) && std::isfinite(v.position.z));
    EXPECT_TRUE(std::isfinite(signedVolume(huge)));
}

TEST(ReductionPass, KeepsBoundaryVerticesAndTheRegion) {
    DynamicMesh mesh = grid(4);
    std::vector<Ogre::Vector3> boundary;
    for (const Vertex& v : mesh.getVertices())
        if (v.position.x == 0 || v.position.y == 0 || v.position.x == 4 || v.position.y == 4)
            boundary.push_back(v.position);
    reduceWholeMesh(mesh);
    EXPECT_LT(mesh.getVertexCount(), 25u);
    for (const Ogre::Vector3& p : boundary)
        EXPECT_TRUE(std::any_of(mesh.getVertices().begin(), mesh.getVertices().end(),
                                [&](const Vertex& v) { return v.position == p; }))
            << p;
    expectAllFacingUp(mesh.getVertices(), mesh.getFaces(), 16.0);
}

TEST(ReductionPass, RejectsACollapseThatFlipsAFaceAndTriesTheNextNeighbour) {
    // A fan around vertex 0 whose nearest neighbour (vertex 3) cannot see the
    // whole ring; vertex 1, a little farther, can.
    std::vector<Vertex> vertices = {at(0, 0),        at(-0.11f, 0.28f), at(-0.98f, -0.03f),
                                    at(0.18f, -0.16f), at(0.45f, -0.06f), at(0.73f, -0.01f)};
    std::vector<Face> faces;
    for (std::uint32_t i = 1; i <= 5; ++i)
        faces.push_back({0, i, i % 5 + 1});
    const VertexFaceIndex index(faces, vertices.size());
    EXPECT_FALSE(index.isOnBorder(0));
    for (std::uint32_t v = 1; v <= 5; ++v)
        EXPECT_TRUE(index.isOnBorder(v));
    // Locked vertices are no collapse targets either; free the ring, as if
    // it lay inside a larger mesh.
    std::vector<std::uint8_t> flags(vertices.size(), VertexFree);
    std::vector<Vertex> outVertices;
    std::vector<Face> outFaces;
    reductionPass(vertices, index, {0}, flags, outVertices, outFaces);
    EXPECT_EQ(flags[0], VertexRemoved);
    for (const Face& f : outFaces)
        EXPECT_NE(f.i0, 0u);
    EXPECT_EQ(outFaces[0], (Face{1, 1, 2})); // collapsed onto vertex 1, degenerate until the clean-up
    finishReduction(index, {0}, flags, outVertices, outFaces);
    EXPECT_EQ(outFaces.size(), 3u);
    EXPECT_EQ(outVertices.size(), 5u);
    double area = 0.0;
    for (const Face& f : faces) {
        const Ogre::Vector3 n = (vertices[f.i1].position - vertices[f.i0].position)
                                    .crossProduct(vertices[f.i2].position - vertices[f.i0].position);
        area += 0.5 * n.z;
    }
    expectAllFacingUp(outVertices, outFaces, area);
}

TEST(ReductionPass, VertexWithFewerThanThreeEdgesStays) {
    // A two-sided triangle: no boundary, but each corner has only two edges.
    std::vector<Vertex> vertices = {at(0, 0), at(1, 0), at(0, 1)};
    const std::vector<Face> faces = {{0, 1, 2}, {0, 2, 1}};
    const VertexFaceIndex index(faces, vertices.size());
    std::vector<std::uint8_t> flags = freshVertexFlags(vertices.size());
    std::vector<Vertex> outVertices;
    std::vector<Face> outFaces;
    reductionPass(vertices, index, {0, 1, 2}, flags, outVertices, outFaces);
    EXPECT_EQ(std::count(flags.begin(), flags.end(), VertexFree), 3);
    EXPECT_EQ(outFaces, faces);
    EXPECT_EQ(std::count(flags.begin(), flags.end(), VertexRemoved), 0);
}

TEST(ReductionPass, PassesRestartFromTheStartingMesh) {
    DynamicMesh mesh = grid(4);
    const VertexFaceIndex index(mesh.getFaces(), mesh.getVertexCount());
    std::vector<std::uint8_t> flags = freshVertexFlags(mesh.getVertexCount());
    std::vector<Vertex> firstVertices, secondVertices;
    std::vector<Face> firstFaces, secondFaces;
    reductionPass(mesh.getVertices(), index, {6, 12}, flags, firstVertices, firstFaces);
    reductionPass(mesh.getVertices(), index, {12, 6}, flags, secondVertices, secondFaces);
    EXPECT_EQ(firstFaces, secondFaces); // the same set of candidates gives the same result
}

namespace {

/// Every directed edge once, each with its reverse: closed and manifold by index.
bool closedManifold(const std::vector<Face>& faces) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> edges;
    for (const Face& f : faces)
        for (int k = 0; k < 3; ++k)
            edges.emplace_back(f[k], f[(k + 1) % 3]);
    std::sort(edges.begin(), edges.end());
    if (std::adjacent_find(edges.begin(), edges.end()) != edges.end())
        return false;
    for (const auto& e : edges)
        if (!std::binary_search(edges.begin(), edges.end(), std::make_pair(e.second, e.first)))
            return false;
    return true;
}

/// A closed latitude-longitude sphere of radius 1 around the origin.
DynamicMesh sphere(int rings, int segments) {
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    vertices.push_back(at(0, 0, 1));
    for (int r = 1; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const double theta = M_PI * r / rings, phi = 2.0 * M_PI * s / segments;
            vertices.push_back(at(float(std::sin(theta) * std::cos(phi)), float(std::sin(theta) * std::sin(phi)),
                                  float(std::cos(theta))));
        }
    vertices.push_back(at(0, 0, -1));
    const auto south = static_cast<std::uint32_t>(vertices.size() - 1);
    auto ring = [&](int r, int s) { return static_cast<std::uint32_t>(1 + (r - 1) * segments + (s % segments)); };
    for (int s = 0; s < segments; ++s)
        faces.push_back({0u, ring(1, s), ring(1, s + 1)});
    for (int r = 1; r + 1 < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            faces.push_back({ring(r, s), ring(r + 1, s), ring(r + 1, s + 1)});
            faces.push_back({ring(r, s), ring(r + 1, s + 1), ring(r, s + 1)});
        }
    for (int s = 0; s < segments; ++s)
        faces.push_back({ring(rings - 1, s), south, ring(rings - 1, s + 1)});
    return DynamicMesh(vertices, faces);
}

} // namespace

TEST(ReductionPass, RepeatedWholeMeshReductionKeepsClosedMeshesManifold) {
    // Coarse spheres shrink to a few faces, where collapses that keep every
    // face's orientation can still pinch two sheets together (these shapes
    // did so before the link condition); every round must stay closed and
    // manifold.
    DynamicMesh shapes[] = {sphere(3, 4), sphere(4, 9), sphere(7, 8), sphere(12, 6), sphere(13, 16)};
    for (DynamicMesh& mesh : shapes) {
        ASSERT_TRUE(closedManifold(mesh.getFaces()));
        std::size_t faces = mesh.getFaceCount();
        for (int round = 0; round < 14; ++round) {
            reduceWholeMesh(mesh);
            ASSERT_TRUE(closedManifold(mesh.getFaces())) << "round " << round;
            ASSERT_TRUE(isClosed(mesh));
            ASSERT_LE(mesh.getFaceCount(), faces);
            faces = mesh.getFaceCount();
        }
        EXPECT_LT(faces, 60u);
    }
}

TEST(ReductionPass, InPlacePassOverAGrowingBrushMatchesTheCopyingPass) {
    DynamicMesh mesh = sphere(16, 20);
    const VertexFaceIndex index(mesh.getFaces(), mesh.getVertexCount());
    std::vector<std::uint8_t> copyFlags = freshVertexFlags(mesh.getVertexCount());
    std::vector<std::uint8_t> localFlags = copyFlags;
    std::vector<Face> local = mesh.getFaces();
    std::vector<Vertex> copyVertices;
    std::vector<Face> copyFaces;
    std::vector<std::uint32_t> candidates;
    // The brush sweeps down from the north pole, a few rings per step.
    for (float z = 0.9f; z > -1.1f; z -= 0.3f) {
        for (std::uint32_t v = 0; v < mesh.getVertexCount(); ++v)
            if (mesh.getVertices()[v].position.z > z &&
                std::find(candidates.begin(), candidates.end(), v) == candidates.end())
                candidates.push_back(v);
        reductionPass(mesh.getVertices(), index, candidates, copyFlags, copyVertices, copyFaces);
        reductionPassInPlace(index, candidates, localFlags, mesh.getVertices(), local);
        ASSERT_EQ(local, copyFaces) << "brush down to z = " << z;
        ASSERT_EQ(localFlags, copyFlags);
    }
    // The stroke end: collapsed vertices and degenerate faces go, the rest
    // stays closed and manifold with every vertex in use.
    std::vector<Vertex> finished = mesh.getVertices();
    finishReduction(index, candidates, localFlags, finished, local);
    const auto removed = static_cast<std::size_t>(std::count(localFlags.begin(), localFlags.end(), VertexRemoved));
    EXPECT_GT(removed, 0u);
    EXPECT_EQ(finished.size(), mesh.getVertexCount() - removed);
    EXPECT_TRUE(closedManifold(local));
    std::vector<bool> used(finished.size(), false);
    for (const Face& f : local)
        used[f.i0] = used[f.i1] = used[f.i2] = true;
    EXPECT_EQ(std::count(used.begin(), used.end(), false), 0);
}

TEST(SubdivisionPass, SplitsOnlyTheFacesOfCandidateEdges) {
    DynamicMesh mesh = sphere(8, 10);
    const std::vector<EdgeRecord> edges = edgeList(VertexFaceIndex(mesh.getFaces(), mesh.getVertexCount()));
    std::vector<EdgeRecord> some(edges.begin(), edges.begin() + 7);
    std::vector<Vertex> vertices = mesh.getVertices();
    std::vector<Face> faces = mesh.getFaces();
    subdivisionPass(some, vertices, faces);
    EXPECT_EQ(vertices.size(), mesh.getVertexCount() + some.size());
    EXPECT_EQ(faces.size(), mesh.getFaceCount() + some.size() * 2);  // each interior edge adds two faces
    EXPECT_TRUE(closedManifold(faces));
    std::vector<bool> touched(mesh.getFaceCount(), false);
    for (const EdgeRecord& e : some)
        touched[e.face0] = touched[e.face1] = true;
    for (std::size_t f = 0; f < mesh.getFaceCount(); ++f) {
        if (!touched[f]) {
            ASSERT_EQ(faces[f], mesh.getFaces()[f]) << "face " << f;
        }
    }
}


TEST(MeshEdges, EdgeOfFaceFindsTheRecordTheEdgeListHolds) {
    DynamicMesh meshes[] = {sphere(6, 7), grid(3)};
    for (const DynamicMesh& mesh : meshes) {
        const VertexFaceIndex index(mesh.getFaces(), mesh.getVertexCount());
        const std::vector<EdgeRecord> edges = edgeList(index);
        const auto key = [](const EdgeRecord& e) { return std::make_tuple(e.face0, e.face1, e.vertexA, e.vertexB); };
        std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>> keys;
        for (const EdgeRecord& e : edges)
            keys.push_back(key(e));
        std::sort(keys.begin(), keys.end());
        std::vector<bool> met(keys.size(), false);
        for (std::uint32_t f = 0; f < mesh.getFaceCount(); ++f)
            for (int k = 0; k < 3; ++k) {
                const auto found = std::lower_bound(keys.begin(), keys.end(), key(edgeOfFace(index, f, k)));
                ASSERT_TRUE(found != keys.end() && *found == key(edgeOfFace(index, f, k))) << "face " << f << " edge " << k;
                met[static_cast<std::size_t>(found - keys.begin())] = true;
            }
        EXPECT_EQ(std::count(met.begin(), met.end(), false), 0);
    }
}

TEST(SubdivisionPass, FinishingCleansOnlyWhereASplitEdgeWasBelowTheSnappingTolerance) {
    for (const bool tinyEdge : {false, true}) {
        DynamicMesh mesh = grid(2);
        if (tinyEdge) {
            std::vector<Vertex> vertices = mesh.getVertices();
            vertices[2].position.x = std::nextafter(1.0f, 2.0f);  // edge 1-2 one float step long
            mesh.setVertices(vertices);
        }
        const VertexFaceIndex index(mesh.getFaces(), mesh.getVertexCount());
        std::vector<EdgeRecord> chosen;
        for (const EdgeRecord& e : edgeList(index))
            if (std::min(e.vertexA, e.vertexB) == 1 && std::max(e.vertexA, e.vertexB) == 2)
                chosen.push_back(e);
        ASSERT_EQ(chosen.size(), 1u);
        std::vector<Vertex> vertices = mesh.getVertices();
        std::vector<Face> faces = mesh.getFaces();
        const std::size_t startFaces = faces.size();
        subdivisionPass(chosen, vertices, faces);
        DynamicMesh split(vertices, faces);
        EXPECT_EQ(finishSubdivision(split, chosen, startFaces), tinyEdge);
        if (!tinyEdge) {
            EXPECT_EQ(split.getFaces(), faces);
            continue;
        }
        EXPECT_LT(split.getFaceCount(), faces.size());
        for (const Face& f : split.getFaces()) {
            const std::vector<Vertex>& v = split.getVertices();
            EXPECT_FALSE(closeEnoughToSnap(v[f.i0].position, v[f.i1].position) ||
                         closeEnoughToSnap(v[f.i1].position, v[f.i2].position) ||
                         closeEnoughToSnap(v[f.i2].position, v[f.i0].position));
        }
    }
}
