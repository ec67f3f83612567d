#include "detail/TriangleSoup.h"

#include "mesh/DisjointSets.h"
#include "mesh/MeshMeasures.h"

#include <algorithm>

namespace Kiln {

namespace {

// Joins faces that share an edge with opposite directions. The directed
// edges are sorted by their unordered vertex pair, so each pair is one run:
// when the run holds both directions (or the edge is degenerate, a == b, and
// so is its own reverse), every face in it is connected to every other
// through some opposite pair, and one chain of joins covers the run. Sorting
// keeps this O(n log n) however many faces meet at one vertex.
void joinAcrossEdges(const std::vector<Face>& faces, DisjointSets& pieces) {
    struct DirectedEdge {
        std::uint64_t pair;  // (min << 32) | max
        std::uint32_t face;
        bool forward;        // a <= b
    };
    std::vector<DirectedEdge> edges;
    edges.reserve(faces.size() * 3);
    for (std::uint32_t f = 0; f < faces.size(); ++f)
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = faces[f][k];
            const std::uint32_t b = faces[f][(k + 1) % 3];
            const std::uint64_t lo = std::min(a, b), hi = std::max(a, b);
            edges.push_back({(lo << 32) | hi, f, a <= b});
        }
    std::sort(edges.begin(), edges.end(),
              [](const DirectedEdge& x, const DirectedEdge& y) { return x.pair < y.pair; });
    auto run = edges.begin();
    while (run != edges.end()) {
        const std::uint64_t pair = run->pair;
        const auto runEnd = std::find_if(run, edges.end(), [pair](const DirectedEdge& e) { return e.pair != pair; });
        const bool bothWays = std::any_of(run, runEnd, [](const DirectedEdge& e) { return e.forward; }) &&
                              std::any_of(run, runEnd, [](const DirectedEdge& e) { return !e.forward; });
        const bool degenerate = (pair >> 32) == (pair & 0xffffffffu);
        if (bothWays || degenerate)
            for (auto other = run + 1; other != runEnd; ++other)
                pieces.join(run->face, other->face);
        run = runEnd;
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
    joinAcrossEdges(faces, sets);

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
