#include "detail/TriangleSoup.h"

#include "mesh/DisjointSets.h"
#include "mesh/MeshMeasures.h"

namespace Kiln {

namespace {

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
                    pieces.join(f, around[i]);
        }
}

} // namespace

std::vector<TriangleSoup::Piece> TriangleSoup::finish() {
    const std::vector<std::uint32_t> canonical = weldByPosition(vertices);
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
