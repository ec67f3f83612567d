#include "geometry/BooleanOperands.h"

#include "detail/BspTree.h"
#include "detail/ExactPlane.h"
#include "detail/NearPairs.h"
#include "detail/ParallelChunks.h"
#include "detail/TriangleContact.h"
#include "mesh/MeshMeasures.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>

namespace Kiln {

namespace {

using BSP::Box;
using namespace TriangleContact;

class SelfIntersectionFinder {
public:
    explicit SelfIntersectionFinder(const MeshArrays& mesh) : mesh(mesh) {
        canonical = weldByPosition(mesh.positions.data(), mesh.vertexCount());
        const std::size_t count = mesh.triangleCount();
        skip.assign(count, 0);
        boxes.resize(count);
        ids.resize(3 * count);
        Parallel::forChunks(count, Parallel::chunkCountFor(count), [&](unsigned, std::size_t begin, std::size_t end) {
            for (std::size_t t = begin; t < end; ++t) {
                const Corners c = corners(static_cast<std::uint32_t>(t));
                // Two corners at one position make a degenerate triangle
                // whatever the arithmetic says: coordinates near the
                // double limit overflow the exact normal, and the pair
                // tests count on three distinct corners.
                skip[t] = c.id[0] == c.id[1] || c.id[1] == c.id[2] || c.id[0] == c.id[2] || isDegenerate(c);
                boxes[t] = BSP::triangleBox(mesh.positions.data(), mesh.indices.data(), t);
                std::copy(c.id, c.id + 3, &ids[3 * t]);
            }
        });
    }

    /// Whether the pair is worth the exact test: neither degenerate, boxes
    /// overlapping.
    bool mayMeet(std::uint32_t s, std::uint32_t t) const {
        return !skip[s] && !skip[t] && BSP::overlaps(boxes[s], boxes[t]);
    }

    /// Triangle t's corners, ids and normal.
    Corners corners(std::uint32_t t) const {
        Corners c;
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t v = mesh.indices[3 * t + k];
            c.p[k] = &mesh.positions[3 * v];
            c.id[k] = canonical[v];
        }
        c.computeNormal();
        return c;
    }

    const std::vector<Box>& triangleBoxes() const { return boxes; }
    bool skipped(std::uint32_t t) const { return skip[t] != 0; }
    const std::uint32_t* cornerIds(std::uint32_t t) const { return &ids[3 * t]; }

    /// Whether triangle t may meet the box lo..hi: no separating axis among
    /// the box's, the triangle's normal and their edges' cross products,
    /// with a margin far above rounding.
    bool triangleTouches(std::uint32_t t, const double* lo, const double* hi) const {
        double v[3][3], h[3];
        for (int k = 0; k < 3; ++k) {
            const double centre = 0.5 * (lo[k] + hi[k]);
            h[k] = 0.5 * (hi[k] - lo[k]);
            for (int c = 0; c < 3; ++c)
                v[c][k] = mesh.positions[3 * mesh.indices[3 * t + c] + k] - centre;
        }
        auto separates = [&](const double a[3]) {
            double low = HUGE_VAL, high = -HUGE_VAL, size = 0.0;
            for (int c = 0; c < 3; ++c) {
                const double d = a[0] * v[c][0] + a[1] * v[c][1] + a[2] * v[c][2];
                low = std::min(low, d);
                high = std::max(high, d);
                size = std::max(size, std::fabs(d));
            }
            const double r = h[0] * std::fabs(a[0]) + h[1] * std::fabs(a[1]) + h[2] * std::fabs(a[2]);
            const double margin = 1e-9 * (r + size);
            return low > r + margin || high < -r - margin;
        };
        for (int k = 0; k < 3; ++k) {
            const double axis[3] = {k == 0 ? 1.0 : 0.0, k == 1 ? 1.0 : 0.0, k == 2 ? 1.0 : 0.0};
            if (separates(axis))
                return false;
        }
        if (separates(corners(t).normal))
            return false;
        for (int e = 0; e < 3; ++e) {
            const double* p = v[e];
            const double* q = v[(e + 1) % 3];
            const double d[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
            const double axes[3][3] = {{0.0, -d[2], d[1]}, {d[2], 0.0, -d[0]}, {-d[1], d[0], 0.0}};
            for (const auto& axis : axes)
                if (separates(axis))
                    return false;
        }
        return true;
    }

    /// A box around the arc that triangle t (with corner id v) draws on
    /// the unit sphere about that corner, grown by more than rounding.
    Box arcBox(std::uint32_t t, std::uint32_t v) const {
        const Corners c = corners(t);
        int at = 0;
        while (c.id[at] != v)
            ++at;
        const double* o = c.p[at];
        double ends[2][3];
        double error = 0.0;
        for (int e = 0; e < 2; ++e) {
            const double* q = c.p[(at + 1 + e) % 3];
            double length = 0.0, size = 0.0;
            for (int k = 0; k < 3; ++k) {
                ends[e][k] = q[k] - o[k];
                length += ends[e][k] * ends[e][k];
                size = std::max({size, std::fabs(q[k]), std::fabs(o[k])});
            }
            length = std::sqrt(length);
            for (double& x : ends[e])
                x /= length;
            error = std::max(error, 1e-12 + 1e-14 * size / length);
        }
        Box box{{HUGE_VAL, HUGE_VAL, HUGE_VAL}, {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL}};
        double step = 0.0, previous[3] = {0, 0, 0};
        constexpr int kSamples = 8;
        for (int i = 0; i <= kSamples; ++i) {
            const double w = static_cast<double>(i) / kSamples;
            double x[3], length = 0.0;
            for (int k = 0; k < 3; ++k) {
                x[k] = (1.0 - w) * ends[0][k] + w * ends[1][k];
                length += x[k] * x[k];
            }
            length = std::sqrt(length);
            double gap = 0.0;
            for (int k = 0; k < 3; ++k) {
                x[k] = length > 0.0 ? x[k] / length : 0.0;
                box.lo[k] = std::min(box.lo[k], x[k]);
                box.hi[k] = std::max(box.hi[k], x[k]);
                gap += (x[k] - previous[k]) * (x[k] - previous[k]);
                previous[k] = x[k];
            }
            if (i > 0)
                step = std::max(step, std::sqrt(gap));
        }
        // Between samples the arc bows out by less than the step between them.
        for (int k = 0; k < 3; ++k) {
            box.lo[k] -= step + error;
            box.hi[k] += step + error;
        }
        return box;
    }

private:
    const MeshArrays& mesh;
    std::vector<std::uint32_t> canonical;
    std::vector<std::uint32_t> ids; ///< canonical corner ids, 3 a triangle
    std::vector<std::uint8_t> skip;
    std::vector<Box> boxes;
};

// A finder's corners(t) through a small direct-mapped cache: fans around
// neighbouring corners and runs of pairs around one triangle ask for the
// same triangles. One per thread.
class CornersCache {
public:
    explicit CornersCache(const SelfIntersectionFinder& finder) : finder(&finder), slots(1024) {}

    const Corners& of(std::uint32_t t) {
        Slot& slot = slots[t % slots.size()];
        if (slot.triangle != t) {
            slot.triangle = t;
            slot.corners = finder->corners(t);
        }
        return slot.corners;
    }

private:
    struct Slot {
        std::uint32_t triangle = BSP::kNone;
        Corners corners;
    };
    const SelfIntersectionFinder* finder;
    std::vector<Slot> slots;
};

// The search in two stages over one mesh, each split over the cores. A
// budget of tests, shared out among the chunks, bounds the work: hostile
// fans of long slivers offer pairs by the square of their count, and the
// search gives up (OutOfBudget) after about 128 cell and pair tests a
// triangle.
class SelfCrossingSearch {
public:
    struct OutOfBudget {};

    explicit SelfCrossingSearch(const MeshArrays& mesh)
        : mesh(mesh), finder(mesh), count(mesh.triangleCount()), skip(count),
          workers(Parallel::chunkCountFor(count), Worker(finder, 0)) {
        for (std::uint32_t t = 0; t < count; ++t)
            skip[t] = finder.skipped(t);
        for (Worker& worker : workers)
            worker.budget = (128 * count + 1000000) / workers.size();
    }

    /// Triangles with a common corner, found around each corner; a fan of
    /// many is sorted by the directions it leaves the corner in.
    bool aroundCorners() {
        const std::size_t vertexCount = mesh.vertexCount();
        std::vector<std::uint32_t> fanStart(vertexCount + 1, 0), fan;
        for (std::uint32_t t = 0; t < count; ++t)
            if (!skip[t])
                for (int k = 0; k < 3; ++k)
                    ++fanStart[finder.cornerIds(t)[k] + 1];
        for (std::size_t v = 0; v < vertexCount; ++v)
            fanStart[v + 1] += fanStart[v];
        fan.resize(fanStart.back());
        std::vector<std::uint32_t> fill(fanStart.begin(), fanStart.end() - 1);
        for (std::uint32_t t = 0; t < count; ++t)
            if (!skip[t])
                for (int k = 0; k < 3; ++k)
                    fan[fill[finder.cornerIds(t)[k]]++] = t;
        std::atomic<bool> stop{false}, found{false};
        Parallel::forChunks(vertexCount, static_cast<unsigned>(workers.size()),
                            [&](unsigned chunk, std::size_t begin, std::size_t end) {
                                stopOthersOnFailure(stop, [&] {
                                    for (std::size_t v = begin; v < end && !stop.load(std::memory_order_relaxed); ++v)
                                        if (fanMeets(static_cast<std::uint32_t>(v), fan.data() + fanStart[v],
                                                     fanStart[v + 1] - fanStart[v], workers[chunk])) {
                                            found = true;
                                            stop = true;
                                        }
                                });
                            });
        return found;
    }

    /// All other pairs: those of triangles of about the usual size by a fine
    /// sparse grid, then those with a larger triangle by a sparse grid of
    /// cells as large as the largest. Where a sparse grid would offer too
    /// many pairs (hostile fans of slivers), a coarse grid whose cells a
    /// triangle enters only where its plane passes through them takes over.
    bool betweenNearTriangles() {
        Worker& first = workers.front();
        const auto touches = [&](std::uint32_t t, const double* lo, const double* hi) {
            spend(first);
            return finder.triangleTouches(t, lo, hi);
        };
        const auto cornerIds = [&](std::uint32_t t) { return finder.cornerIds(t); };
        const auto meet = [&](unsigned chunk, std::uint32_t s, std::uint32_t t) {
            Worker& worker = workers[chunk];
            spend(worker);
            if (!finder.mayMeet(s, t))
                return false;
            const Corners viewS = worker.cache.of(s);
            return meetBeyondSharedCorners(viewS, worker.cache.of(t));
        };
        const auto meetSerially = [&](std::uint32_t s, std::uint32_t t) { return meet(0, s, t); };
        const std::vector<Box>& boxes = finder.triangleBoxes();
        std::size_t used = 0;
        const Box bounds = NearPairs::boundsOfItems(boxes, skip, used);
        if (used < 2)
            return false;
        // Pairs offered by the sparse grids before a mesh counts as crowded.
        const std::size_t pairLimit = 256 * count + 1000000;
        std::vector<std::uint32_t> large;
        switch (NearPairs::forSmallPairsInSparseGrid(boxes, skip, bounds, pairLimit, cornerIds, large,
                                                     static_cast<unsigned>(workers.size()), meet)) {
        case NearPairs::SparseSearch::Found:
            return true;
        case NearPairs::SparseSearch::TooCrowded:
            return NearPairs::forPairsInCoarseGrid(boxes, skip, nullptr, touches, cornerIds, meetSerially);
        case NearPairs::SparseSearch::Finished:
            break;
        }
        switch (NearPairs::forLargePairsInSparseGrid(boxes, skip, bounds, large, pairLimit, cornerIds, meetSerially)) {
        case NearPairs::SparseSearch::Found:
            return true;
        case NearPairs::SparseSearch::Finished:
            return false;
        case NearPairs::SparseSearch::TooCrowded:
            break;
        }
        std::vector<std::uint8_t> isLarge(count, 0);
        for (const std::uint32_t t : large)
            isLarge[t] = 1;
        return NearPairs::forPairsInCoarseGrid(boxes, skip, &isLarge, touches, cornerIds, meetSerially);
    }

private:
    // What one chunk of a stage keeps to itself.
    struct Worker {
        Worker(const SelfIntersectionFinder& finder, std::size_t budget) : cache(finder), budget(budget) {}
        CornersCache cache;
        std::size_t budget;
        std::vector<Corners> views;
        std::vector<Box> arcs;
    };

    static void spend(Worker& worker) {
        if (worker.budget-- == 0)
            throw OutOfBudget{};
    }

    // Runs a chunk's work; when it throws, the other chunks are told to
    // stop before the exception goes on.
    template <typename Work>
    static void stopOthersOnFailure(std::atomic<bool>& stop, Work&& work) {
        try {
            work();
        } catch (...) {
            stop = true;
            throw;
        }
    }

    // Whether two of the n triangles `around` corner v meet.
    bool fanMeets(std::uint32_t v, const std::uint32_t* around, std::uint32_t n, Worker& worker) {
        // The fan's triangles with their normals, made once for all pairs.
        std::vector<Corners>& views = worker.views;
        views.resize(n);
        for (std::uint32_t i = 0; i < n; ++i)
            views[i] = worker.cache.of(around[i]);
        // Triangles sharing an edge meet around both its corners: test
        // them around the lower one only.
        const auto meetOnce = [&](std::uint32_t i, std::uint32_t j) {
            if (lowestSharedCorner(views[i], views[j]) != v)
                return false;
            spend(worker);
            return meetBeyondSharedCorners(views[i], views[j]);
        };
        if (n <= 16) {
            for (std::uint32_t i = 0; i < n; ++i)
                for (std::uint32_t j = i + 1; j < n; ++j)
                    if (meetOnce(i, j))
                        return true;
            return false;
        }
        worker.arcs.resize(n);
        for (std::uint32_t i = 0; i < n; ++i)
            worker.arcs[i] = finder.arcBox(around[i], v);
        return NearPairs::forNearBoxesAlongCurves(worker.arcs, meetOnce);
    }

    const MeshArrays& mesh;
    const SelfIntersectionFinder finder;
    const std::size_t count;
    std::vector<std::uint8_t> skip;
    std::vector<Worker> workers;
};

// The solid angle triangle a, b, c (corners relative to the viewpoint)
// covers as seen from the origin, signed by its winding (Van Oosterom and
// Strackee).
double solidAngle(const double a[3], const double b[3], const double c[3]) {
    const auto dot = [](const double* u, const double* v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; };
    const double la = std::sqrt(dot(a, a)), lb = std::sqrt(dot(b, b)), lc = std::sqrt(dot(c, c));
    const double bc[3] = {b[1] * c[2] - b[2] * c[1], b[2] * c[0] - b[0] * c[2], b[0] * c[1] - b[1] * c[0]};
    return 2.0 * std::atan2(dot(a, bc), la * lb * lc + dot(a, b) * lc + dot(a, c) * lb + dot(b, c) * la);
}

// A closed surface whose triangles all turn the same side to one point O
// and that wraps around O once is star-shaped from O: each ray from O meets
// it once, so no two of its triangles meet other than where they join.
// (Once around: the projection from O covers each direction as often as
// the surface's total solid angle is 4 pi, and a point where two triangles
// met would be covered twice around it.) The sides are exact; the total
// is summed in doubles, where once around (4 pi) and twice (8 pi) lie far
// apart. O is the mean of the vertices: the centre of a sphere, a blob or
// a clay lump worked from one, for which this spares the whole search.
bool starShapedAroundCentre(const MeshArrays& mesh, KnownClosed closed) {
    const std::size_t vertexCount = mesh.vertexCount(), count = mesh.triangleCount();
    if (count == 0 || vertexCount == 0)
        return false;
    double centre[3] = {0, 0, 0};
    for (std::size_t v = 0; v < vertexCount; ++v)
        for (int k = 0; k < 3; ++k)
            centre[k] += mesh.positions[3 * v + k] / static_cast<double>(vertexCount);
    const auto corner = [&](std::size_t t, int k) { return &mesh.positions[3 * mesh.indices[3 * t + k]]; };
    const int side = orient(corner(0, 0), corner(0, 1), corner(0, 2), centre);
    if (side == 0)
        return false;
    const unsigned chunks = Parallel::chunkCountFor(count);
    std::vector<double> totals(chunks, 0.0);
    std::atomic<bool> turned{false};
    Parallel::forChunks(count, chunks, [&](unsigned chunk, std::size_t begin, std::size_t end) {
        double total = 0.0;
        for (std::size_t t = begin; t < end && !turned.load(std::memory_order_relaxed); ++t) {
            if (orient(corner(t, 0), corner(t, 1), corner(t, 2), centre) != side) {
                turned = true;
                return;
            }
            double relative[3][3];
            for (int k = 0; k < 3; ++k)
                for (int c = 0; c < 3; ++c)
                    relative[k][c] = corner(t, k)[c] - centre[c];
            total += solidAngle(relative[0], relative[1], relative[2]);
        }
        totals[chunk] = total;
    });
    if (turned)
        return false;
    double total = 0.0;
    for (const double part : totals)
        total += part;
    return std::fabs(std::fabs(total) / (4.0 * M_PI) - 1.0) < 0.25 && (closed == KnownClosed::Yes || isClosed(mesh));
}

} // namespace

bool intersectsItself(const MeshArrays& mesh, KnownClosed closed) {
    if (starShapedAroundCentre(mesh, closed))
        return false;
    SelfCrossingSearch search(mesh);
    try {
        return search.aroundCorners() || search.betweenNearTriangles();
    } catch (const SelfCrossingSearch::OutOfBudget&) {
        return false;
    }
}

} // namespace Kiln
