#include "detail/BooleanStages.h"

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

void findNearTriangles(const MeshArrays& a, const MeshArrays& b, const std::vector<std::uint8_t>& skipA,
                       const std::vector<std::uint8_t>& skipB, std::vector<std::uint8_t>& nearA,
                       std::vector<std::uint8_t>& nearB) {
    nearA.assign(a.triangleCount(), 0);
    nearB.assign(b.triangleCount(), 0);
    // Only A's boxes are kept (the grid holds them); B's are recomputed
    // where needed, which costs less than storing 48 bytes a triangle.
    std::vector<Box> boxesA(a.triangleCount());
    const auto boxOfB = [&](std::size_t t) { return triangleBox(b.positions.data(), b.indices.data(), t); };
    const Box boundsA = boundsOfBoxes(a.triangleCount(), [&](std::size_t t) {
        boxesA[t] = triangleBox(a.positions.data(), a.indices.data(), t);
        return boxesA[t];
    });
    const Box boundsB = boundsOfBoxes(b.triangleCount(), boxOfB);
    if (!overlaps(boundsA, boundsB))
        return;
    Box common;
    for (int k = 0; k < 3; ++k) {
        common.lo[k] = std::max(boundsA.lo[k], boundsB.lo[k]);
        common.hi[k] = std::min(boundsA.hi[k], boundsB.hi[k]);
    }
    std::vector<std::uint32_t> candidates;
    for (std::uint32_t t = 0; t < boxesA.size(); ++t)
        if (!skipA[t] && overlaps(boxesA[t], common))
            candidates.push_back(t);
    if (candidates.empty())
        return;

    // A uniform grid over the common box with about two cells per candidate.
    const GridShape shape = gridShapeFor(common.lo, common.hi, candidates.size(), 512);
    const int* dims = shape.dims;
    const double* scale = shape.scale;
    auto cellRange = [&](const Box& box, int lo[3], int hi[3]) {
        // Clamped as doubles: a box reaching far beyond a thin common box
        // gives cell numbers no int can hold.
        const auto cellOf = [&](double coordinate, int k) {
            const double cell = (coordinate - common.lo[k]) * scale[k];
            return static_cast<int>(std::clamp(cell, 0.0, static_cast<double>(dims[k] - 1)));
        };
        for (int k = 0; k < 3; ++k) {
            lo[k] = cellOf(box.lo[k], k);
            hi[k] = cellOf(box.hi[k], k);
        }
    };
    const std::size_t cellCount = static_cast<std::size_t>(dims[0]) * dims[1] * dims[2];
    std::vector<std::uint32_t> start(cellCount + 1, 0);
    auto forCells = [&](const Box& box, auto&& visit) {
        int lo[3], hi[3];
        cellRange(box, lo, hi);
        for (int z = lo[2]; z <= hi[2]; ++z)
            for (int y = lo[1]; y <= hi[1]; ++y)
                for (int x = lo[0]; x <= hi[0]; ++x)
                    visit((static_cast<std::size_t>(z) * dims[1] + y) * dims[0] + x);
    };
    for (const std::uint32_t t : candidates)
        forCells(boxesA[t], [&](std::size_t c) { ++start[c + 1]; });
    for (std::size_t c = 0; c < cellCount; ++c)
        start[c + 1] += start[c];
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    std::vector<std::uint32_t> entries(start[cellCount]);
    for (const std::uint32_t t : candidates)
        forCells(boxesA[t], [&](std::size_t c) { entries[fill[c]++] = t; });

    // A pair of overlapping boxes is tested exactly: most such pairs share
    // no point (nearly coplanar surfaces give a crowd of them), and a
    // triangle that meets nothing needs no clipping.
    const auto cornersOf = [](const MeshArrays& mesh, std::uint32_t t) {
        TriangleContact::Corners c;
        for (int k = 0; k < 3; ++k) {
            c.p[k] = &mesh.positions[3 * mesh.indices[3 * t + k]];
            c.id[k] = mesh.indices[3 * t + k];
        }
        c.computeNormal();
        return c;
    };
    // B's triangles are split over the cores. Each chunk marks B's flags in
    // its own range and A's in a copy of its own, joined afterwards.
    const unsigned chunks = Parallel::chunkCountFor(b.triangleCount());
    std::vector<std::vector<std::uint8_t>> nearAOfChunk(chunks - 1);
    Parallel::forChunks(b.triangleCount(), chunks, [&](unsigned chunk, std::size_t begin, std::size_t end) {
        std::vector<std::uint8_t>& marks = chunk == 0 ? nearA : nearAOfChunk[chunk - 1];
        marks.resize(a.triangleCount(), 0);
        std::vector<std::uint32_t> lastSeen(a.triangleCount(), kNone);
        for (std::uint32_t t = static_cast<std::uint32_t>(begin); t < end; ++t) {
            if (skipB[t])
                continue;
            const Box boxB = boxOfB(t);
            if (!overlaps(boxB, common))
                continue;
            const TriangleContact::Corners cornersB = cornersOf(b, t);
            forCells(boxB, [&](std::size_t c) {
                for (std::uint32_t e = start[c]; e < start[c + 1]; ++e) {
                    const std::uint32_t other = entries[e];
                    if (lastSeen[other] == t)
                        continue;
                    lastSeen[other] = t;
                    if (!overlaps(boxesA[other], boxB))
                        continue;
                    marks[other] |= kBoxesOverlap;
                    nearB[t] |= kBoxesOverlap;
                    if ((marks[other] & nearB[t] & kMeetsOther) != 0)
                        continue; // both known to meet already
                    if (TriangleContact::disjointTrianglesMeet(cornersOf(a, other), cornersB)) {
                        marks[other] |= kMeetsOther;
                        nearB[t] |= kMeetsOther;
                    }
                }
            });
        }
    });
    for (const std::vector<std::uint8_t>& marks : nearAOfChunk)
        for (std::size_t t = 0; t < marks.size(); ++t)
            nearA[t] |= marks[t];
}

std::vector<std::uint32_t> farComponents(const MeshArrays& mesh, const std::vector<std::uint8_t>& near,
                                         const std::vector<std::uint8_t>& degenerate,
                                         std::vector<std::uint32_t>& representatives) {
    const std::size_t triangles = mesh.triangleCount();
    const std::vector<std::uint32_t> canonical = weldByPosition(mesh.positions.data(), mesh.vertexCount());
    // These triangles meet no part of the other surface, so two that touch
    // anywhere, a corner being enough, are on the same side of it: joining
    // through shared corners needs no edge list.
    const auto grouped = [&](std::uint32_t t) { return (near[t] & kMeetsOther) == 0 && !degenerate[t]; };
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
