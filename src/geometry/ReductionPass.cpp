#include "geometry/ReductionPass.h"

#include "geometry/MeshCleanup.h"
#include "geometry/MeshEdges.h"

#include <algorithm>

namespace Kiln {
namespace {

Ogre::Vector3 faceNormal(const std::vector<Vertex>& vertices, std::uint32_t a, std::uint32_t b, std::uint32_t c) {
    const Ogre::Vector3& p0 = vertices[a].position;
    return (vertices[b].position - p0).crossProduct(vertices[c].position - p0);
}

bool contains(const Face& f, std::uint32_t v) {
    return f.i0 == v || f.i1 == v || f.i2 == v;
}

std::uint32_t replaced(std::uint32_t corner, std::uint32_t from, std::uint32_t to) {
    return corner == from ? to : corner;
}

// Whether moving v onto w keeps every face around v (that does not hold w)
// facing the way it did.
bool collapseKeepsOrientation(const MeshGraph& graph, const std::vector<Vertex>& vertices,
                              const std::vector<Face>& faces, std::uint32_t v, std::uint32_t w) {
    for (const std::uint32_t f : graph.getVertexFaces(v)) {
        const Face& face = faces[f];
        if (contains(face, w))
            continue;
        const Ogre::Vector3 before = faceNormal(vertices, face.i0, face.i1, face.i2);
        const Ogre::Vector3 after =
            faceNormal(vertices, replaced(face.i0, v, w), replaced(face.i1, v, w), replaced(face.i2, v, w));
        if (!(before.dotProduct(after) > 0.0f))
            return false;
    }
    return true;
}

bool isDegenerate(const Face& f) {
    return f.i0 == f.i1 || f.i1 == f.i2 || f.i2 == f.i0;
}

void addOtherCorners(const Face& face, std::uint32_t self, std::vector<std::uint32_t>& out) {
    for (int k = 0; k < 3; ++k)
        if (face[k] != self)
            out.push_back(face[k]);
}

void sortUnique(std::vector<std::uint32_t>& values) {
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
}

// The link condition: collapsing the edge (v, w) keeps a manifold surface
// only when the vertices adjacent to both v and w are exactly those opposite
// the edge in the faces holding it. Otherwise the collapse pinches the
// surface (two sheets meeting in an edge or a vertex), which later Booleans
// and the haptic shapes cannot handle. Adjacency is read from the current
// faces: w may already have received collapsed neighbours in this pass
// (removed vertices never neighbour one another, so one level suffices).
bool collapseKeepsManifold(const MeshGraph& graph, const std::vector<Face>& faces,
                           const std::vector<std::uint8_t>& flags, std::uint32_t v, std::uint32_t w,
                           std::vector<std::uint32_t> (&scratch)[3]) {
    std::vector<std::uint32_t>& linkV = scratch[0];
    std::vector<std::uint32_t>& linkW = scratch[1];
    std::vector<std::uint32_t>& opposite = scratch[2];
    linkV.clear();
    linkW.clear();
    opposite.clear();
    for (const std::uint32_t f : graph.getVertexFaces(v)) {
        const Face& face = faces[f];
        if (isDegenerate(face) || !contains(face, v))
            continue;
        addOtherCorners(face, v, linkV);
        if (contains(face, w))
            for (int k = 0; k < 3; ++k)
                if (face[k] != v && face[k] != w)
                    opposite.push_back(face[k]);
    }
    auto addFacesOfW = [&](std::uint32_t around) {
        for (const std::uint32_t f : graph.getVertexFaces(around)) {
            const Face& face = faces[f];
            if (!isDegenerate(face) && contains(face, w))
                addOtherCorners(face, w, linkW);
        }
    };
    addFacesOfW(w);
    for (const std::uint32_t f : graph.getVertexFaces(w))
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t u = graph.getMesh().getFaces()[f][k];
            if (u != w && flags[u] == VertexRemoved)
                addFacesOfW(u);
        }
    sortUnique(linkV);
    sortUnique(linkW);
    sortUnique(opposite);
    std::size_t common = 0;
    for (std::size_t i = 0, j = 0; i < linkV.size() && j < linkW.size();) {
        if (linkV[i] < linkW[j])
            ++i;
        else if (linkW[j] < linkV[i])
            ++j;
        else {
            ++common;
            ++i;
            ++j;
        }
    }
    return common == opposite.size();
}

} // namespace

std::vector<std::uint8_t> initialVertexFlags(const DynamicMesh& mesh, const MeshGraph& graph) {
    std::vector<std::uint8_t> flags(mesh.getVertexCount(), VertexFree);
    for (const EdgeRecord& e : edgeList(mesh, graph))
        if (e.face0 == e.face1) {
            flags[e.vertexA] = VertexLocked;
            flags[e.vertexB] = VertexLocked;
        }
    return flags;
}

void reductionPass(const DynamicMesh& mesh, const MeshGraph& graph, const std::vector<std::uint32_t>& candidates,
                   std::vector<std::uint8_t>& flags, std::vector<Vertex>& vertices, std::vector<Face>& faces) {
    vertices = mesh.getVertices();
    faces = mesh.getFaces();
    for (std::uint8_t& flag : flags)
        if (flag == VertexRemoved)
            flag = VertexFree;
    collapseCandidates(mesh, graph, candidates, flags, vertices, faces);
}

void reductionPassInPlace(const DynamicMesh& mesh, const MeshGraph& graph, const std::vector<std::uint32_t>& candidates,
                          std::vector<std::uint8_t>& flags, const std::vector<Vertex>& vertices,
                          std::vector<Face>& faces) {
    // A collapse of v rewrites only faces around v, and only candidates are
    // ever removed: restoring those faces and flags gives back the starting
    // mesh exactly.
    const std::vector<Face>& start = mesh.getFaces();
    for (const std::uint32_t v : candidates) {
        for (const std::uint32_t f : graph.getVertexFaces(v))
            faces[f] = start[f];
        if (flags[v] == VertexRemoved)
            flags[v] = VertexFree;
    }
    collapseCandidates(mesh, graph, candidates, flags, vertices, faces);
}

void collapseCandidates(const DynamicMesh& mesh, const MeshGraph& graph, const std::vector<std::uint32_t>& candidates,
                        std::vector<std::uint8_t>& flags, const std::vector<Vertex>& vertices,
                        std::vector<Face>& faces) {

    struct Weighted {
        double weight;
        std::uint32_t vertex;
    };
    std::vector<Weighted> order;
    order.reserve(candidates.size());
    for (const std::uint32_t v : candidates) {
        double weight = 0.0;
        for (const std::uint32_t f : graph.getVertexFaces(v)) {
            const Face& face = faces[f];
            weight += faceNormal(vertices, face.i0, face.i1, face.i2).length();
        }
        order.push_back({weight, v});
    }
    // Ties go to the smaller index, so the result depends only on the set of
    // candidates, not on the order in which they were brushed.
    std::sort(order.begin(), order.end(), [](const Weighted& a, const Weighted& b) {
        return a.weight < b.weight || (a.weight == b.weight && a.vertex < b.vertex);
    });

    std::vector<std::uint32_t> around;
    struct Neighbour {
        double distance2;
        std::uint32_t vertex;
    };
    std::vector<Neighbour> neighbours;
    std::vector<std::uint32_t> linkScratch[3];
    for (const Weighted& candidate : order) {
        const std::uint32_t v = candidate.vertex;
        if (flags[v] != VertexFree)
            continue;
        verticesAroundVertex(mesh, graph, v, around);
        if (around.size() < 3)
            continue;
        if (std::any_of(around.begin(), around.end(), [&](std::uint32_t w) { return flags[w] == VertexRemoved; }))
            continue;
        neighbours.clear();
        for (const std::uint32_t w : around)
            if (flags[w] == VertexFree)
                neighbours.push_back({vertices[v].position.squaredDistance(vertices[w].position), w});
        std::sort(neighbours.begin(), neighbours.end(), [](const Neighbour& a, const Neighbour& b) {
            return a.distance2 < b.distance2 || (a.distance2 == b.distance2 && a.vertex < b.vertex);
        });
        for (const Neighbour& n : neighbours) {
            if (!collapseKeepsOrientation(graph, vertices, faces, v, n.vertex) ||
                !collapseKeepsManifold(graph, faces, flags, v, n.vertex, linkScratch))
                continue;
            for (const std::uint32_t f : graph.getVertexFaces(v)) {
                Face& face = faces[f];
                face = {replaced(face.i0, v, n.vertex), replaced(face.i1, v, n.vertex), replaced(face.i2, v, n.vertex)};
            }
            flags[v] = VertexRemoved;
            break;
        }
    }
}

void finishReduction(std::vector<Vertex>& vertices, std::vector<Face>& faces) {
    for (std::size_t f = 0; f < faces.size();) {
        const Face& face = faces[f];
        if (face.i0 == face.i1 || face.i1 == face.i2 || face.i2 == face.i0) {
            faces[f] = faces.back();
            faces.pop_back();
        } else {
            ++f;
        }
    }
    removeUnusedVertices(vertices, faces);
}

void reduceWholeMesh(DynamicMesh& mesh) {
    const MeshGraph& graph = mesh.getGraph();
    std::vector<std::uint8_t> flags = initialVertexFlags(mesh, graph);
    std::vector<std::uint32_t> candidates(mesh.getVertexCount());
    for (std::uint32_t v = 0; v < candidates.size(); ++v)
        candidates[v] = v;
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    reductionPass(mesh, graph, candidates, flags, vertices, faces);
    finishReduction(vertices, faces);
    mesh.setFaces(std::move(faces));
    mesh.swapVertices(vertices);
}

} // namespace Kiln
