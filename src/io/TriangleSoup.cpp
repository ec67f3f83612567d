#include "io/TriangleSoup.h"

#include <cstring>
#include <numeric>

namespace Kiln {

namespace {

std::uint64_t hashPosition(const Ogre::Vector3& p) {
    std::uint32_t bits[3];
    for (int k = 0; k < 3; ++k) {
        const float value = p[k] + 0.0f;  // -0 and +0 weld
        std::memcpy(&bits[k], &value, sizeof value);
    }
    std::uint64_t h = bits[0] * 0x9E3779B97F4A7C15ull;
    h = (h ^ bits[1]) * 0xC2B2AE3D27D4EB4Full;
    h = (h ^ bits[2]) * 0x165667B19E3779F9ull;
    return h ^ (h >> 29);
}

// For each vertex, the first vertex at an equal position. Open addressing
// over vertex indices keeps this one flat table for millions of vertices.
std::vector<std::uint32_t> weld(const std::vector<Vertex>& vertices) {
    std::size_t capacity = 16;
    while (capacity < vertices.size() * 2)
        capacity *= 2;
    const std::uint32_t empty = 0xffffffffu;
    std::vector<std::uint32_t> table(capacity, empty);
    std::vector<std::uint32_t> canonical(vertices.size());
    const std::size_t mask = capacity - 1;
    for (std::uint32_t v = 0; v < vertices.size(); ++v) {
        const Ogre::Vector3& p = vertices[v].position;
        std::size_t slot = hashPosition(p) & mask;
        while (table[slot] != empty && vertices[table[slot]].position != p)
            slot = (slot + 1) & mask;
        if (table[slot] == empty)
            table[slot] = v;
        canonical[v] = table[slot];
    }
    return canonical;
}

struct DisjointSets {
    std::vector<std::uint32_t> parent;
    explicit DisjointSets(std::size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0u); }
    std::uint32_t find(std::uint32_t x) {
        while (parent[x] != x) {
            parent[x] = parent[parent[x]];
            x = parent[x];
        }
        return x;
    }
    void unite(std::uint32_t a, std::uint32_t b) {
        a = find(a);
        b = find(b);
        if (a != b)
            parent[std::max(a, b)] = std::min(a, b);  // roots stay the lowest face
    }
};

bool hasEdge(const Face& f, std::uint32_t a, std::uint32_t b) {
    return (f.i0 == a && f.i1 == b) || (f.i1 == a && f.i2 == b) || (f.i2 == a && f.i0 == b);
}

// Joins faces that share an edge with opposite directions, looking for the
// reversed edge among the faces around its first vertex.
void joinAcrossEdges(const std::vector<Face>& faces, std::size_t vertexCount, DisjointSets& pieces) {
    std::vector<std::uint32_t> offsets(vertexCount + 1, 0);
    for (const Face& f : faces) {
        ++offsets[f.i0 + 1];
        ++offsets[f.i1 + 1];
        ++offsets[f.i2 + 1];
    }
    for (std::size_t v = 0; v < vertexCount; ++v)
        offsets[v + 1] += offsets[v];
    std::vector<std::uint32_t> around(offsets[vertexCount]);
    std::vector<std::uint32_t> fill(offsets.begin(), offsets.end() - 1);
    for (std::uint32_t f = 0; f < faces.size(); ++f) {
        around[fill[faces[f].i0]++] = f;
        around[fill[faces[f].i1]++] = f;
        around[fill[faces[f].i2]++] = f;
    }
    for (std::uint32_t f = 0; f < faces.size(); ++f)
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = faces[f][k];
            const std::uint32_t b = faces[f][(k + 1) % 3];
            for (std::uint32_t i = offsets[b]; i < offsets[b + 1]; ++i)
                if (hasEdge(faces[around[i]], b, a))
                    pieces.unite(f, around[i]);
        }
}

} // namespace

std::vector<TriangleSoup::Piece> TriangleSoup::finish() {
    const std::vector<std::uint32_t> canonical = weld(vertices);
    for (Face& f : faces) {
        f.i0 = canonical[f.i0];
        f.i1 = canonical[f.i1];
        f.i2 = canonical[f.i2];
    }
    DisjointSets sets(faces.size());
    joinAcrossEdges(faces, vertices.size(), sets);

    // Pieces in order of their lowest face, which is each set's root.
    std::vector<std::uint32_t> pieceOfRoot(faces.size(), 0xffffffffu);
    std::vector<Piece> pieces;
    std::vector<std::uint32_t> pieceOfFace(faces.size());
    for (std::uint32_t f = 0; f < faces.size(); ++f) {
        const std::uint32_t root = sets.find(f);
        if (pieceOfRoot[root] == 0xffffffffu) {
            pieceOfRoot[root] = static_cast<std::uint32_t>(pieces.size());
            pieces.emplace_back();
        }
        pieceOfFace[f] = pieceOfRoot[root];
    }
    // Visit the faces piece by piece (keeping face order inside a piece) so
    // that a vertex shared by two touching pieces is copied once into each.
    std::vector<std::uint32_t> pieceStart(pieces.size() + 1, 0);
    for (std::uint32_t piece : pieceOfFace)
        ++pieceStart[piece + 1];
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        pieceStart[p + 1] += pieceStart[p];
        pieces[p].faces.reserve(pieceStart[p + 1] - pieceStart[p]);
    }
    std::vector<std::uint32_t> facesByPiece(faces.size());
    for (std::uint32_t f = 0; f < faces.size(); ++f)
        facesByPiece[pieceStart[pieceOfFace[f]]++] = f;

    std::vector<std::uint32_t> newIndex(vertices.size());
    std::vector<std::uint32_t> indexPiece(vertices.size(), 0xffffffffu);
    for (std::uint32_t f : facesByPiece) {
        const std::uint32_t p = pieceOfFace[f];
        Piece& piece = pieces[p];
        std::uint32_t corners[3];
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t v = faces[f][k];
            if (indexPiece[v] != p) {
                indexPiece[v] = p;
                newIndex[v] = static_cast<std::uint32_t>(piece.vertices.size());
                piece.vertices.push_back(vertices[v]);
            }
            corners[k] = newIndex[v];
        }
        piece.faces.push_back(Face{corners[0], corners[1], corners[2]});
    }
    vertices.clear();
    faces.clear();
    return pieces;
}

void TriangleSoup::addObjects(ObjectGroup& root, IObjectFactory& factory, const std::string& material) {
    for (Piece& piece : finish()) {
        std::unique_ptr<Object> object = factory.createObject();
        object->setMesh(std::make_unique<DynamicMesh>(std::move(piece.vertices), std::move(piece.faces)));
        object->centrePivot();
        object->setParameter("castShadows", false);
        object->setParameter("material", material);
        root.adoptChild(std::move(object));
    }
}

} // namespace Kiln
