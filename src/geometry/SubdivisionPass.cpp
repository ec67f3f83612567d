#include "geometry/SubdivisionPass.h"

#include "geometry/MeshCleanup.h"

#include <algorithm>
#include <array>

namespace Kiln {
namespace {

constexpr std::int64_t kNoSplit = -1;

Vertex midpoint(const Vertex& a, const Vertex& b) {
    Vertex m;
    // Halving first: (a + b) / 2 overflows to infinity for coordinates
    // beyond half the float range.
    m.position = a.position * 0.5f + b.position * 0.5f;
    m.colour = (a.colour + b.colour) * 0.5f;
    m.u = (a.u + b.u) * 0.5f;
    m.v = (a.v + b.v) * 0.5f;
    return m;
}

void appendSplitFaces(const Face& face, const std::array<std::int64_t, 3>& slot, std::vector<Face>& faces) {
    const std::uint32_t a = face.i0, b = face.i1, c = face.i2;
    const bool s0 = slot[0] != kNoSplit, s1 = slot[1] != kNoSplit, s2 = slot[2] != kNoSplit;
    const auto m0 = static_cast<std::uint32_t>(slot[0]), m1 = static_cast<std::uint32_t>(slot[1]),
               m2 = static_cast<std::uint32_t>(slot[2]);
    auto add = [&](std::uint32_t x, std::uint32_t y, std::uint32_t z) { faces.push_back({x, y, z}); };
    if (s0 && s1 && s2) {
        add(a, m0, m2);
        add(m0, b, m1);
        add(m2, m1, c);
        add(m0, m1, m2);
    } else if (s0 && s1) {
        add(a, m0, m1);
        add(m0, b, m1);
        add(a, m1, c);
    } else if (s0 && s2) {
        add(a, m0, m2);
        add(m0, b, c);
        add(m2, m0, c);
    } else if (s1 && s2) {
        add(a, b, m2);
        add(m2, b, m1);
        add(m2, m1, c);
    } else if (s0) {
        add(a, m0, c);
        add(m0, b, c);
    } else if (s1) {
        add(a, m1, c);
        add(a, b, m1);
    } else if (s2) {
        add(m2, b, c);
        add(a, b, m2);
    }
}

bool hasSnappingCorners(const std::vector<Vertex>& vertices, const Face& face) {
    const Ogre::Vector3& a = vertices[face.i0].position;
    const Ogre::Vector3& b = vertices[face.i1].position;
    const Ogre::Vector3& c = vertices[face.i2].position;
    return closeEnoughToSnap(a, b) || closeEnoughToSnap(b, c) || closeEnoughToSnap(c, a);
}

} // namespace

void subdivisionPass(const std::vector<EdgeRecord>& candidates, std::vector<Vertex>& vertices,
                     std::vector<Face>& faces) {
    // Split records of the touched faces only, so that a brush stroke on a
    // large mesh pays for the brushed edges, not for every face.
    struct Split {
        std::uint32_t face;
        int slot;
        std::uint32_t vertex;
    };
    std::vector<Split> splits;
    splits.reserve(2 * candidates.size());
    auto record = [&](std::uint32_t f, std::uint32_t a, std::uint32_t b, std::uint32_t m) {
        splits.push_back({f, edgeSlot(faces[f], a, b), m});
    };
    for (const EdgeRecord& e : candidates) {
        const std::uint32_t m = static_cast<std::uint32_t>(vertices.size());
        vertices.push_back(midpoint(vertices[e.vertexA], vertices[e.vertexB]));
        record(e.face0, e.vertexA, e.vertexB, m);
        if (e.face1 != e.face0)
            record(e.face1, e.vertexA, e.vertexB, m);
    }
    std::stable_sort(splits.begin(), splits.end(), [](const Split& x, const Split& y) { return x.face < y.face; });
    for (std::size_t i = 0; i < splits.size();) {
        const std::uint32_t f = splits[i].face;
        std::array<std::int64_t, 3> slot = {kNoSplit, kNoSplit, kNoSplit};
        for (; i < splits.size() && splits[i].face == f; ++i)
            if (splits[i].slot >= 0)
                slot[static_cast<std::size_t>(splits[i].slot)] = splits[i].vertex;
        const std::size_t before = faces.size();
        appendSplitFaces(faces[f], slot, faces);
        if (faces.size() == before)
            continue;
        // The face's own sub-faces are the last ones: the last takes its place.
        faces[f] = faces.back();
        faces.pop_back();
    }
}

bool finishSubdivision(DynamicMesh& mesh, const std::vector<EdgeRecord>& candidates, std::size_t startFaceCount) {
    return subdivisionNeedsCleanUp(mesh, candidates, startFaceCount) && cleanUpMesh(mesh);
}

bool subdivisionNeedsCleanUp(const DynamicMesh& mesh, const std::vector<EdgeRecord>& candidates,
                             std::size_t startFaceCount) {
    const std::vector<Vertex>& vertices = mesh.getVertices();
    const std::vector<Face>& faces = mesh.getFaces();
    bool suspect = false;
    for (std::size_t f = startFaceCount; f < faces.size() && !suspect; ++f)
        suspect = hasSnappingCorners(vertices, faces[f]);
    for (std::size_t i = 0; i < candidates.size() && !suspect; ++i)
        suspect = hasSnappingCorners(vertices, faces[candidates[i].face0]) ||
                  hasSnappingCorners(vertices, faces[candidates[i].face1]);
    return suspect;
}

void subdivideWholeMesh(DynamicMesh& mesh) {
    std::vector<EdgeRecord> edges;
    {
        const VertexFaceIndex index(mesh.getFaces(), mesh.getVertexCount());
        edges = edgeList(index);
    }
    std::vector<Vertex> vertices = mesh.getVertices();
    std::vector<Face> faces = mesh.getFaces();
    const std::size_t startFaceCount = faces.size();
    subdivisionPass(edges, vertices, faces);
    mesh.swapVertices(vertices);
    mesh.swapFaces(faces);
    finishSubdivision(mesh, edges, startFaceCount);
}

} // namespace Kiln
