#include "detail/BooleanStages.h"

#include "detail/FloatBox.h"
#include "detail/ParallelChunks.h"
#include "detail/TriangleContact.h"
#include "detail/UniformGrid.h"

#include "mesh/DisjointSets.h"
#include "mesh/MeshMeasures.h"

#include <algorithm>
#include <cmath>

namespace Kiln {
namespace BooleanStage {

using BSP::Box;
using BSP::kNone;
using BSP::overlaps;
using BSP::triangleBox;

namespace {

// The bounds of `count` boxes, box(t) giving each, over the cores.
template <typename BoxOf>
Box boundsOfBoxes(std::size_t count, BoxOf&& box) {
    const unsigned chunks = Parallel::chunkCountFor(count);
    std::vector<Box> boundsOfChunk(chunks, Box{{HUGE_VAL, HUGE_VAL, HUGE_VAL}, {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL}});
    const auto grow = [](Box& bounds, const Box& by) {
        for (int k = 0; k < 3; ++k) {
            bounds.lo[k] = std::min(bounds.lo[k], by.lo[k]);
            bounds.hi[k] = std::max(bounds.hi[k], by.hi[k]);
        }
    };
    Parallel::forChunks(count, chunks, [&](unsigned chunk, std::size_t begin, std::size_t end) {
        for (std::size_t t = begin; t < end; ++t)
            grow(boundsOfChunk[chunk], box(t));
    });
    for (unsigned chunk = 1; chunk < chunks; ++chunk)
        grow(boundsOfChunk[0], boundsOfChunk[chunk]);
    return boundsOfChunk[0];
}

// What one pair of triangles found, as bits: a triangle gathers the bits of
// all its pairs.
enum PairContact : std::uint8_t {
    kCrossesBit = 1,           ///< they meet beyond the corners they share
    kTouchesBit = 2,           ///< they meet at shared corners (or a shared edge) only
    kCoincidesBit = 4,         ///< the same three corners, wound alike
    kCoincidesReversedBit = 8, ///< the same three corners, wound the other way
};

// A triangle's Contact from the bits of its pairs. A face of the other
// operand at the same place decides the triangle when nothing else of that
// operand reaches past its sides and corners: near any inner point of the
// face there is no other surface. Touching at corners alone leaves no
// point to decide a connected set by: such a triangle is clipped.
Contact contactOfTriangle(std::uint8_t bits) {
    const bool coincides = (bits & kCoincidesBit) != 0, reversed = (bits & kCoincidesReversedBit) != 0;
    if ((bits & kCrossesBit) || (coincides && reversed))
        return kClipped;
    if (coincides)
        return kCoincides;
    if (reversed)
        return kCoincidesReversed;
    return bits & kTouchesBit ? kClipped : kApart;
}

} // namespace

void findMeetingTriangles(const MeshArrays& a, const MeshArrays& b, const std::vector<std::uint8_t>& skipA,
                          const std::vector<std::uint8_t>& skipB, std::vector<std::uint8_t>& meetsA,
                          std::vector<std::uint8_t>& meetsB) {
    meetsA.assign(a.triangleCount(), 0);
    meetsB.assign(b.triangleCount(), 0);
    // Only A's boxes are kept, in floats (the grid holds them); B's are
    // recomputed where needed.
    std::vector<FloatBox> boxesA(a.triangleCount());
    const auto boxOfB = [&](std::size_t t) { return triangleBox(b.positions.data(), b.indices.data(), t); };
    const Box boundsA = boundsOfBoxes(a.triangleCount(), [&](std::size_t t) {
        const Box box = triangleBox(a.positions.data(), a.indices.data(), t);
        boxesA[t] = floatBoxAround(box);
        return box;
    });
    const Box boundsB = boundsOfBoxes(b.triangleCount(), boxOfB);
    if (!overlaps(boundsA, boundsB))
        return;
    Box common;
    for (int k = 0; k < 3; ++k) {
        common.lo[k] = std::max(boundsA.lo[k], boundsB.lo[k]);
        common.hi[k] = std::min(boundsA.hi[k], boundsB.hi[k]);
    }
    const FloatBox commonFloat = floatBoxAround(common);
    std::vector<std::uint32_t> candidates;
    for (std::uint32_t t = 0; t < boxesA.size(); ++t)
        if (!skipA[t] && overlaps(boxesA[t], commonFloat))
            candidates.push_back(t);
    if (candidates.empty())
        return;

    // A uniform grid over the common box with about two cells per candidate.
    const GridShape shape = gridShapeFor(common.lo, common.hi, candidates.size(), 512);
    const int* dims = shape.dims;
    const double* scale = shape.scale;
    // Clamped as doubles: a box reaching far beyond a thin common box gives
    // cell numbers no int can hold (and an infinite bound times a flat
    // axis's zero scale is no number at all).
    const auto cellOf = [&](float coordinate, int k) {
        const double cell = (coordinate - common.lo[k]) * scale[k];
        return cell > 0.0 ? static_cast<int>(std::min(cell, static_cast<double>(dims[k] - 1))) : 0;
    };
    const std::size_t cellCount = static_cast<std::size_t>(dims[0]) * dims[1] * dims[2];
    std::vector<std::uint32_t> start(cellCount + 1, 0);
    auto forCells = [&](const FloatBox& box, auto&& visit) {
        int lo[3], hi[3];
        for (int k = 0; k < 3; ++k) {
            lo[k] = cellOf(box.lo[k], k);
            hi[k] = cellOf(box.hi[k], k);
        }
        for (int z = lo[2]; z <= hi[2]; ++z)
            for (int y = lo[1]; y <= hi[1]; ++y)
                for (int x = lo[0]; x <= hi[0]; ++x)
                    visit((static_cast<std::size_t>(z) * dims[1] + y) * dims[0] + x, x, y, z);
    };
    for (const std::uint32_t t : candidates)
        forCells(boxesA[t], [&](std::size_t c, int, int, int) { ++start[c + 1]; });
    for (std::size_t c = 0; c < cellCount; ++c)
        start[c + 1] += start[c];
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    std::vector<std::uint32_t> entries(start[cellCount]);
    for (const std::uint32_t t : candidates)
        forCells(boxesA[t], [&](std::size_t c, int, int, int) { entries[fill[c]++] = t; });
    std::vector<std::uint32_t>().swap(fill);

    // A pair whose boxes overlap is tested exactly: most such pairs share no
    // point (nearly coplanar surfaces give a crowd of them), and a triangle
    // that meets nothing needs no clipping. Corners are numbered per pair:
    // B's 0 to 2, A's by the corner of B at the same position, else 3 to 5.
    const auto cornersOf = [](const MeshArrays& mesh, std::uint32_t t) {
        TriangleContact::Corners c;
        for (int k = 0; k < 3; ++k) {
            c.p[k] = &mesh.positions[3 * mesh.indices[3 * t + k]];
            c.id[k] = static_cast<std::uint32_t>(k);
        }
        c.computeNormal();
        return c;
    };
    const auto samePosition = [](const double* p, const double* q) {
        return p[0] == q[0] && p[1] == q[1] && p[2] == q[2];
    };
    const auto distinctCorners = [&](const TriangleContact::Corners& c) {
        return !samePosition(c.p[0], c.p[1]) && !samePosition(c.p[1], c.p[2]) && !samePosition(c.p[0], c.p[2]);
    };
    // The contact bits of a pair (see PairContact), the same for both.
    const auto contactOf = [&](std::uint32_t triangleA, const TriangleContact::Corners& cornersB,
                               bool distinctB) -> std::uint8_t {
        const std::uint32_t* index = &a.indices[3 * triangleA];
        const double* corner[3] = {&a.positions[3 * index[0]], &a.positions[3 * index[1]],
                                   &a.positions[3 * index[2]]};
        // The common case, settled without A's normal.
        if (TriangleContact::strictlyOnOneSide(cornersB, corner[0], corner[1], corner[2]))
            return 0;
        TriangleContact::Corners cornersA = cornersOf(a, triangleA);
        // Corners at one position (possible only where coordinates near
        // the double limit hide a degenerate triangle) would break the
        // numbering: such a pair is clipped.
        if (!distinctB || !distinctCorners(cornersA))
            return kCrossesBit;
        int shared = 0;
        for (int k = 0; k < 3; ++k) {
            cornersA.id[k] = static_cast<std::uint32_t>(3 + k);
            for (std::uint32_t j = 0; j < 3; ++j)
                if (samePosition(corner[k], cornersB.p[j])) {
                    cornersA.id[k] = j;
                    ++shared;
                }
        }
        if (shared == 3)
            return cornersA.id[1] == (cornersA.id[0] + 1) % 3 ? kCoincidesBit : kCoincidesReversedBit;
        if (TriangleContact::meetBeyondSharedCorners(cornersA, cornersB))
            return kCrossesBit;
        return shared > 0 ? kTouchesBit : 0;
    };
    // B's triangles are split over the cores. Each chunk marks B's bits in
    // its own range and A's in a copy of its own, joined afterwards.
    const unsigned chunks = Parallel::chunkCountFor(b.triangleCount());
    std::vector<std::vector<std::uint8_t>> meetsAOfChunk(chunks - 1);
    Parallel::forChunks(b.triangleCount(), chunks, [&](unsigned chunk, std::size_t begin, std::size_t end) {
        std::vector<std::uint8_t>& marks = chunk == 0 ? meetsA : meetsAOfChunk[chunk - 1];
        marks.resize(a.triangleCount(), 0);
        for (std::uint32_t t = static_cast<std::uint32_t>(begin); t < end; ++t) {
            if (skipB[t])
                continue;
            const FloatBox boxB = floatBoxAround(boxOfB(t));
            if (!overlaps(boxB, commonFloat))
                continue;
            const TriangleContact::Corners cornersB = cornersOf(b, t);
            const bool distinctB = distinctCorners(cornersB);
            forCells(boxB, [&](std::size_t c, int x, int y, int z) {
                for (std::uint32_t e = start[c]; e < start[c + 1]; ++e) {
                    const std::uint32_t other = entries[e];
                    const FloatBox& boxA = boxesA[other];
                    if (!overlaps(boxA, boxB) || (marks[other] & meetsB[t] & kCrossesBit))
                        continue;
                    // Both boxes lie in every cell they share: the pair is
                    // taken in the one holding the low corner of their
                    // common part.
                    if (cellOf(std::max(boxA.lo[0], boxB.lo[0]), 0) != x ||
                        cellOf(std::max(boxA.lo[1], boxB.lo[1]), 1) != y ||
                        cellOf(std::max(boxA.lo[2], boxB.lo[2]), 2) != z)
                        continue;
                    const std::uint8_t contact = contactOf(other, cornersB, distinctB);
                    marks[other] |= contact;
                    meetsB[t] |= contact;
                }
            });
        }
    });
    for (const std::vector<std::uint8_t>& marks : meetsAOfChunk)
        for (std::size_t t = 0; t < marks.size(); ++t)
            meetsA[t] |= marks[t];
    for (std::vector<std::uint8_t>* meets : {&meetsA, &meetsB})
        for (std::uint8_t& contact : *meets)
            contact = contactOfTriangle(contact);
}

std::vector<std::uint32_t> farComponents(const MeshArrays& mesh, const std::vector<std::uint8_t>& meets,
                                         const std::vector<std::uint8_t>& degenerate,
                                         std::vector<std::uint32_t>& representatives) {
    const std::size_t triangles = mesh.triangleCount();
    const std::vector<std::uint32_t> canonical = weldByPosition(mesh.positions.data(), mesh.vertexCount());
    // These triangles meet no part of the other surface, so two that touch
    // anywhere, a corner being enough, are on the same side of it: joining
    // through shared corners needs no edge list.
    const auto grouped = [&](std::uint32_t t) { return meets[t] == kApart && !degenerate[t]; };
    DisjointSets corners(mesh.vertexCount());
    for (std::uint32_t t = 0; t < triangles; ++t) {
        if (!grouped(t))
            continue;
        const std::uint32_t first = canonical[mesh.indices[3 * t]];
        corners.join(first, canonical[mesh.indices[3 * t + 1]]);
        corners.join(first, canonical[mesh.indices[3 * t + 2]]);
    }
    std::vector<std::uint32_t> component(triangles, kNone);
    std::vector<std::uint32_t> idOfRoot(mesh.vertexCount(), kNone);
    representatives.clear();
    for (std::uint32_t t = 0; t < triangles; ++t) {
        if (!grouped(t))
            continue;
        const std::uint32_t root = corners.find(canonical[mesh.indices[3 * t]]);
        if (idOfRoot[root] == kNone) {
            idOfRoot[root] = static_cast<std::uint32_t>(representatives.size());
            representatives.push_back(t);
        }
        component[t] = idOfRoot[root];
    }
    return component;
}

} // namespace BooleanStage
} // namespace Kiln
