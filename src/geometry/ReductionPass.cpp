#include "geometry/ReductionPass.h"

#include "geometry/MeshCleanup.h"

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
bool collapseKeepsOrientation(const VertexFaceIndex& index, const std::vector<Vertex>& vertices,
                              const std::vector<Face>& faces, std::uint32_t v, std::uint32_t w) {
    for (const std::uint32_t f : index.facesAround(v)) {
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
bool collapseKeepsManifold(const VertexFaceIndex& index, const std::vector<Face>& faces,
                           const std::vector<std::uint8_t>& flags, std::uint32_t v, std::uint32_t w,
                           std::vector<std::uint32_t> (&scratch)[3]) {
    std::vector<std::uint32_t>& linkV = scratch[0];
    std::vector<std::uint32_t>& linkW = scratch[1];
    std::vector<std::uint32_t>& opposite = scratch[2];
    linkV.clear();
    linkW.clear();
    opposite.clear();
    for (const std::uint32_t f : index.facesAround(v)) {
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
        for (const std::uint32_t f : index.facesAround(around)) {
            const Face& face = faces[f];
            if (!isDegenerate(face) && contains(face, w))
                addOtherCorners(face, w, linkW);
        }
    };
    addFacesOfW(w);
    for (const std::uint32_t f : index.facesAround(w))
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t u = index.getFaces()[f][k];
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

// Works out an unchecked vertex's flag: border vertices are locked.
std::uint8_t flagOf(const VertexFaceIndex& index, std::vector<std::uint8_t>& flags, std::uint32_t v) {
    if (flags[v] == VertexUnchecked)
        flags[v] = index.isOnBorder(v) ? VertexLocked : VertexFree;
    return flags[v];
}

void collapseCandidates(const VertexFaceIndex& index, const std::vector<std::uint32_t>& candidates,
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
        for (const std::uint32_t f : index.facesAround(v)) {
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
        if (flagOf(index, flags, v) != VertexFree)
            continue;
        index.neighbours(v, around);
        if (around.size() < 3)
            continue;
        if (std::any_of(around.begin(), around.end(), [&](std::uint32_t w) { return flags[w] == VertexRemoved; }))
            continue;
        neighbours.clear();
        for (const std::uint32_t w : around)
            if (flagOf(index, flags, w) == VertexFree)
                neighbours.push_back({vertices[v].position.squaredDistance(vertices[w].position), w});
        std::sort(neighbours.begin(), neighbours.end(), [](const Neighbour& a, const Neighbour& b) {
            return a.distance2 < b.distance2 || (a.distance2 == b.distance2 && a.vertex < b.vertex);
        });
        for (const Neighbour& n : neighbours) {
            if (!collapseKeepsOrientation(index, vertices, faces, v, n.vertex) ||
                !collapseKeepsManifold(index, faces, flags, v, n.vertex, linkScratch))
                continue;
            for (const std::uint32_t f : index.facesAround(v)) {
                Face& face = faces[f];
                face = {replaced(face.i0, v, n.vertex), replaced(face.i1, v, n.vertex), replaced(face.i2, v, n.vertex)};
            }
            flags[v] = VertexRemoved;
            break;
        }
    }
}

} // namespace

std::vector<std::uint8_t> freshVertexFlags(std::size_t vertexCount) {
    return std::vector<std::uint8_t>(vertexCount, VertexUnchecked);
}

void reductionPass(const std::vector<Vertex>& startVertices, const VertexFaceIndex& index,
                   const std::vector<std::uint32_t>& candidates, std::vector<std::uint8_t>& flags,
                   std::vector<Vertex>& vertices, std::vector<Face>& faces) {
    vertices = startVertices;
    faces = index.getFaces();
    for (std::uint8_t& flag : flags)
        if (flag == VertexRemoved)
            flag = VertexFree;
    collapseCandidates(index, candidates, flags, vertices, faces);
}

void reductionPassInPlace(const VertexFaceIndex& index, const std::vector<std::uint32_t>& candidates,
                          std::vector<std::uint8_t>& flags, const std::vector<Vertex>& vertices,
                          std::vector<Face>& faces) {
    // A collapse of v rewrites only faces around v, and only candidates are
    // ever removed: restoring those faces and flags gives back the starting
    // mesh exactly.
    const std::vector<Face>& start = index.getFaces();
    for (const std::uint32_t v : candidates) {
        for (const std::uint32_t f : index.facesAround(v))
            faces[f] = start[f];
        if (flags[v] == VertexRemoved)
            flags[v] = VertexFree;
    }
    collapseCandidates(index, candidates, flags, vertices, faces);
}

void finishReduction(const VertexFaceIndex& index, const std::vector<std::uint32_t>& candidates,
                     const std::vector<std::uint8_t>& flags, std::vector<Vertex>& vertices, std::vector<Face>& faces) {
    std::vector<std::uint32_t> degenerate;
    std::vector<std::uint32_t> removed;
    for (const std::uint32_t v : candidates) {
        if (flags[v] != VertexRemoved)
            continue;
        removed.push_back(v);
        for (const std::uint32_t f : index.facesAround(v))
            if (isDegenerate(faces[f]))
                degenerate.push_back(f);
    }
    sortUnique(degenerate);
    sortUnique(removed);
    // From the back: whatever moves into a gap lies beyond every gap still
    // to fill, so it is never a degenerate face itself.
    for (auto f = degenerate.rbegin(); f != degenerate.rend(); ++f) {
        faces[*f] = faces.back();
        faces.pop_back();
    }
    if (removed.empty())
        return;
    // Vertices before the first removed one keep their index.
    const std::uint32_t first = removed.front();
    std::vector<std::uint32_t> shift(vertices.size() - first);
    std::uint32_t next = first;
    for (std::uint32_t v = first, r = 0; v < vertices.size(); ++v) {
        if (r < removed.size() && removed[r] == v) {
            ++r;
            continue;
        }
        shift[v - first] = next;
        vertices[next++] = vertices[v];
    }
    vertices.resize(next);
    const auto renumber = [&](std::uint32_t& corner) {
        if (corner >= first)
            corner = shift[corner - first];
    };
    for (Face& face : faces) {
        renumber(face.i0);
        renumber(face.i1);
        renumber(face.i2);
    }
}

void reduceWholeMesh(DynamicMesh& mesh) {
    const VertexFaceIndex index(mesh.getFaces(), mesh.getVertexCount());
    std::vector<std::uint8_t> flags = freshVertexFlags(mesh.getVertexCount());
    std::vector<std::uint32_t> candidates(mesh.getVertexCount());
    for (std::uint32_t v = 0; v < candidates.size(); ++v)
        candidates[v] = v;
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    reductionPass(mesh.getVertices(), index, candidates, flags, vertices, faces);
    finishReduction(index, candidates, flags, vertices, faces);
    mesh.setFaces(std::move(faces));
    mesh.swapVertices(vertices);
}

} // namespace Kiln
