#include "detail/TriangleSoup.h"

#include "mesh/DisjointSets.h"

#include <algorithm>

namespace Kiln {

namespace {

// Joins faces that share an edge with opposite directions. The directed
// edges are bucketed by their lower vertex and each bucket (a vertex's few
// edges) is sorted by the upper one, so each unordered vertex pair is one
// run: when the run holds both directions (or the edge is degenerate,
// a == b, and so is its own reverse), every face in it is connected to
// every other through some opposite pair, and one chain of joins covers the
// run. Buckets keep this linear in the faces however large the mesh, and
// O(k log k) for k faces meeting at one vertex.
void joinAcrossEdges(const std::vector<Face>& faces, std::size_t vertexCount, DisjointSets& pieces) {
    struct DirectedEdge {
        std::uint32_t upper;
        std::uint32_t face;
        bool forward; // lower -> upper as the face is wound
    };
    std::vector<std::uint32_t> bucketStart(vertexCount + 1, 0);
    for (const Face& face : faces)
        for (int k = 0; k < 3; ++k)
            ++bucketStart[std::min(face[k], face[(k + 1) % 3]) + 1];
    for (std::size_t v = 0; v < vertexCount; ++v)
        bucketStart[v + 1] += bucketStart[v];
    std::vector<DirectedEdge> edges(bucketStart[vertexCount]);
    {
        std::vector<std::uint32_t> fill(bucketStart.begin(), bucketStart.end() - 1);
        for (std::uint32_t f = 0; f < faces.size(); ++f)
            for (int k = 0; k < 3; ++k) {
                const std::uint32_t a = faces[f][k], b = faces[f][(k + 1) % 3];
                edges[fill[std::min(a, b)]++] = {std::max(a, b), f, a <= b};
            }
    }
    for (std::size_t lower = 0; lower < vertexCount; ++lower) {
        const auto bucketEnd = edges.begin() + bucketStart[lower + 1];
        auto run = edges.begin() + bucketStart[lower];
        std::sort(run, bucketEnd, [](const DirectedEdge& x, const DirectedEdge& y) { return x.upper < y.upper; });
        while (run != bucketEnd) {
            const std::uint32_t upper = run->upper;
            const auto runEnd = std::find_if(run, bucketEnd, [upper](const DirectedEdge& e) { return e.upper != upper; });
            const bool bothWays = std::any_of(run, runEnd, [](const DirectedEdge& e) { return e.forward; }) &&
                                  std::any_of(run, runEnd, [](const DirectedEdge& e) { return !e.forward; });
            const bool degenerate = upper == lower;
            if (bothWays || degenerate)
                for (auto other = run + 1; other != runEnd; ++other)
                    pieces.join(run->face, other->face);
            run = runEnd;
        }
    }
}

} // namespace

std::vector<TriangleSoup::Piece> TriangleSoup::finish() {
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
    // One piece uses every vertex, and welding numbered them in first-use
    // order already: hand the arrays over instead of copying them.
    if (pieces.size() == 1) {
        pieces[0].vertices = std::move(vertices);
        pieces[0].faces = std::move(faces);
        vertices.clear();
        faces.clear();
        vertexAt = FlatIndexTable();
        return pieces;
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
    vertexAt = FlatIndexTable();
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
