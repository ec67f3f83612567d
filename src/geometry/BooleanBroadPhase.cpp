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
    // that meets nothing needs no clipping.
    const auto cornersOf = [](const MeshArrays& mesh, std::uint32_t t) {
        TriangleContact::Corners c;
        for (int k = 0; k < 3; ++k) {
            c.p[k] = &mesh.positions[3 * mesh.indices[3 * t + k]];
            c.id[k] = mesh.indices[3 * t + k];
        }
        c.computeNormal();
        return c;
    };
    const auto meet = [&](std::uint32_t triangleA, const TriangleContact::Corners& cornersB) {
        const std::uint32_t* corner = &a.indices[3 * triangleA];
        // The common case, settled without A's normal.
        if (TriangleContact::strictlyOnOneSide(cornersB, &a.positions[3 * corner[0]], &a.positions[3 * corner[1]],
                                               &a.positions[3 * corner[2]]))
            return false;
        return TriangleContact::disjointTrianglesMeet(cornersOf(a, triangleA), cornersB);
    };
    // B's triangles are split over the cores. Each chunk marks B's flags in
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
            forCells(boxB, [&](std::size_t c, int x, int y, int z) {
                for (std::uint32_t e = start[c]; e < start[c + 1]; ++e) {
                    const std::uint32_t other = entries[e];
                    const FloatBox& boxA = boxesA[other];
                    if (!overlaps(boxA, boxB) || (marks[other] && meetsB[t]))
                        continue;
                    // Both boxes lie in every cell they share: the pair is
                    // taken in the one holding the low corner of their
                    // common part.
                    if (cellOf(std::max(boxA.lo[0], boxB.lo[0]), 0) != x ||
                        cellOf(std::max(boxA.lo[1], boxB.lo[1]), 1) != y ||
                        cellOf(std::max(boxA.lo[2], boxB.lo[2]), 2) != z)
                        continue;
                    if (meet(other, cornersB))
                        marks[other] = meetsB[t] = 1;
                }
            });
        }
    });
    for (const std::vector<std::uint8_t>& marks : meetsAOfChunk)
        for (std::size_t t = 0; t < marks.size(); ++t)
            meetsA[t] |= marks[t];
}

std::vector<std::uint32_t> farComponents(const MeshArrays& mesh, const std::vector<std::uint8_t>& meets,
                                         const std::vector<std::uint8_t>& degenerate,
                                         std::vector<std::uint32_t>& representatives) {
    const std::size_t triangles = mesh.triangleCount();
    const std::vector<std::uint32_t> canonical = weldByPosition(mesh.positions.data(), mesh.vertexCount());
    // These triangles meet no part of the other surface, so two that touch
    // anywhere, a corner being enough, are on the same side of it: joining
    // through shared corners needs no edge list.
    const auto grouped = [&](std::uint32_t t) { return !meets[t] && !degenerate[t]; };
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
