#include "detail/BooleanStages.h"

#include <cstring>

namespace Kiln {
namespace BooleanStage {

using BSP::kNone;

namespace {

bool inResult(BooleanOperation operation, bool inA, bool inB) {
    switch (operation) {
    case BooleanOperation::Union:
        return inA || inB;
    case BooleanOperation::Intersection:
        return inA && inB;
    case BooleanOperation::Difference:
        return inA && !inB;
    }
    return false;
}

// +1 keeps a piece as it is, -1 keeps it reversed, 0 drops it. The piece
// bounds the result where the result differs on its two sides. Where both
// operands have a face in the same place, only A's copy decides.
int decide(BooleanOperation operation, bool isB, bool frontInOther, bool backInOther) {
    if (isB && frontInOther != backInOther)
        return 0;
    const bool outside = isB ? inResult(operation, frontInOther, false) : inResult(operation, false, frontInOther);
    const bool inside = isB ? inResult(operation, backInOther, true) : inResult(operation, true, backInOther);
    if (outside == inside)
        return 0;
    return inside ? 1 : -1;
}

// The position of a work vertex: an input vertex as it is, an intersection
// point rounded exactly (the same point always gives the same doubles).
void workVertexPosition(const BSP::Operands& operands, const BSP::Operand& op, std::uint32_t vertex, double p[3]) {
    if (op.isInputVertex(vertex)) {
        std::memcpy(p, op.positions + 3 * vertex, 3 * sizeof(double));
    } else {
        const BSP::WorkVertex& w = op.cut(vertex);
        const ExactPlane& line = operands.plane(w.planes[1]);
        if (line.kind == ExactPlane::Kind::EdgeAlongAxis)
            cutPoint(line, operands.plane(w.planes[2]), p);
        else
            intersectionPoint(operands.plane(w.planes[0]), line, operands.plane(w.planes[2]), p);
    }
    for (int k = 0; k < 3; ++k)
        if (p[k] == 0.0)
            p[k] = 0.0; // one key for +0 and -0
}

constexpr std::int8_t kMixedFate = 2;

// The decision (see `decide`) for each fragment of a classified piece, or
// kMixedFate where its halves differ. Halves come after their piece, so one
// backward pass settles every piece from its halves.
void fateOfFragments(const std::vector<BSP::ClassifiedPiece>& fragments, BooleanOperation operation, bool isB,
                     std::vector<std::int8_t>& fate) {
    fate.resize(fragments.size());
    for (std::size_t f = fragments.size(); f-- > 0;) {
        const BSP::ClassifiedPiece& c = fragments[f];
        if (!c.isSplit())
            fate[f] = static_cast<std::int8_t>(decide(operation, isB, c.frontInside, c.backInside));
        else
            fate[f] = fate[c.front] == fate[c.back] ? fate[c.front] : kMixedFate;
    }
}

// Keeps only the cut points that the polygons from `firstVertex` on use,
// renumbered in their order: the others were cut for halves that were
// joined again or dropped. The order of the survivors stays as it was, so
// nothing downstream sees a difference but the smaller numbers.
void keepUsedCuts(BSP::Operand& own, std::size_t cutsBefore, std::vector<std::uint32_t>& vertices,
                  std::size_t firstVertex, std::vector<std::uint32_t>& renumbered) {
    const std::uint32_t base = static_cast<std::uint32_t>(own.vertexCount + cutsBefore);
    const std::size_t made = own.cuts.size() - cutsBefore;
    renumbered.assign(made, kNone);
    for (std::size_t i = firstVertex; i < vertices.size(); ++i)
        if (vertices[i] >= base)
            renumbered[vertices[i] - base] = 0;
    std::uint32_t next = 0;
    for (std::size_t c = 0; c < made; ++c)
        if (renumbered[c] != kNone) {
            own.cuts[cutsBefore + next] = own.cuts[cutsBefore + c];
            renumbered[c] = next++;
        }
    own.cuts.resize(cutsBefore + next);
    for (std::size_t i = firstVertex; i < vertices.size(); ++i)
        if (vertices[i] >= base)
            vertices[i] = base + renumbered[vertices[i] - base];
}

} // namespace

void clipOperand(BSP::Operand& own, const BSP::Operand& other, const std::vector<std::uint8_t>& meets,
                 const std::vector<std::uint32_t>& component, const std::vector<std::uint32_t>& representatives,
                 BSP::Operands operands, BooleanOperation operation, KeptPolygons& kept) {
    std::vector<std::uint8_t> componentInside(representatives.size());
    for (std::size_t c = 0; c < representatives.size(); ++c)
        componentInside[c] =
            BSP::pointInside(other, operands, own.positions + 3 * own.indices[3 * representatives[c]]) ? 1 : 0;
    const bool isB = own.id == 1;
    BSP::PieceWorkspace workspace(operands, own.id);
    std::vector<BSP::ClassifiedPiece> classified;
    std::vector<std::int8_t> fate;
    std::vector<std::uint32_t> pending, renumbered;
    std::vector<BSP::Piece> keptForward, keptReversed;
    // Room for every triangle kept whole; only pieces of cut triangles can
    // go beyond it.
    kept.polygons.reserve(own.triangleCount);
    kept.vertices.reserve(3 * own.triangleCount);
    auto keepWhole = [&](std::uint32_t t, int orientation) {
        kept.polygons.push_back(
            {t, orientation, static_cast<std::uint32_t>(kept.vertices.size()), 3, meets[t] == kClipped});
        for (int k = 0; k < 3; ++k)
            kept.vertices.push_back(own.indices[3 * t + k]);
    };
    for (std::uint32_t t = 0; t < own.triangleCount; ++t) {
        if (own.degenerate[t])
            continue;
        if (meets[t] != kClipped) {
            // A coincident face has the other operand's outside on the side
            // its twin faces and its inside behind.
            const bool reversed = meets[t] == kCoincidesReversed;
            const bool frontInside = meets[t] == kApart ? componentInside[component[t]] != 0 : reversed;
            const bool backInside = meets[t] == kApart ? frontInside : !reversed;
            const int orientation = decide(operation, isB, frontInside, backInside);
            if (orientation != 0)
                keepWhole(t, orientation);
            continue;
        }
        workspace.reset();
        const std::size_t cutsBefore = own.cuts.size();
        const std::size_t firstVertex = kept.vertices.size();
        BSP::classifyPiece(other, workspace, workspace.triangle(t), classified);
        fateOfFragments(classified, operation, isB, fate);
        if (fate[0] != kMixedFate) {
            own.cuts.resize(cutsBefore);
            if (fate[0] != 0)
                keepWhole(t, fate[0]);
            continue;
        }
        // Halves with one fate go out as the piece they were cut from: the
        // cuts that made them changed nothing, and each one kept would add
        // triangles. Neighbours with one fate are joined where they stay
        // convex, for the same reason.
        keptForward.clear();
        keptReversed.clear();
        pending.assign(1, 0);
        while (!pending.empty()) {
            const std::uint32_t f = pending.back();
            pending.pop_back();
            const BSP::ClassifiedPiece& c = classified[f];
            if (fate[f] == kMixedFate) {
                pending.push_back(c.back);
                pending.push_back(c.front);
            } else if (fate[f] != 0) {
                (fate[f] > 0 ? keptForward : keptReversed).push_back(c.piece);
            }
        }
        for (const int orientation : {1, -1}) {
            std::vector<BSP::Piece>& pieces = orientation > 0 ? keptForward : keptReversed;
            workspace.joinPieces(pieces);
            for (const BSP::Piece& piece : pieces) {
                kept.polygons.push_back(
                    {t, orientation, static_cast<std::uint32_t>(kept.vertices.size()), piece.count, true});
                for (std::uint32_t k = 0; k < piece.count; ++k)
                    kept.vertices.push_back(workspace.vertex(piece, k));
            }
        }
        keepUsedCuts(own, cutsBefore, kept.vertices, firstVertex, renumbered);
    }
    // The exact rounding of cut points is the costly part of the output;
    // done here, it runs on both threads.
    kept.positions.assign(3 * own.workVertexCount(), 0.0);
    std::vector<std::uint8_t> done(own.workVertexCount(), 0);
    for (const std::uint32_t v : kept.vertices)
        if (!done[v]) {
            done[v] = 1;
            workVertexPosition(operands, own, v, &kept.positions[3 * v]);
        }
}

} // namespace BooleanStage
} // namespace Kiln
