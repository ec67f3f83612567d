#include "haptics/IndexedShape.h"

#include "log/Exception.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace Kiln {
namespace {

Vec3d vertexAt(const float* positions, std::uint32_t index) {
    const float* p = positions + 3 * static_cast<std::size_t>(index);
    return {p[0], p[1], p[2]};
}

Box3d triangleBox(const HapticTriangle& tri) {
    Box3d box;
    box.extend(tri.p0);
    box.extend(tri.p1);
    box.extend(tri.p2);
    return box;
}

} // namespace

IndexedShape::IndexedShape(const std::vector<float>& positions,
                           const std::vector<std::uint32_t>& indices)
    : IndexedShape(positions.data(), positions.size() / 3, indices.data(), indices.size() / 3) {}

IndexedShape::IndexedShape(const float* positions, std::size_t vertexCount,
                           const std::uint32_t* indices, std::size_t triangleCount) {
    auto built = std::make_shared<Geometry>();
    built->triangles.reserve(triangleCount);
    std::vector<std::uint32_t> validFaces;
    std::vector<Box3d> boxes;
    boxes.reserve(triangleCount);
    for (std::size_t f = 0; f < triangleCount; ++f) {
        const std::uint32_t* face = indices + 3 * f;
        for (int k = 0; k < 3; ++k)
            if (face[k] >= vertexCount)
                throw Exception(3,
                                "Face " + std::to_string(f) + " refers to vertex " +
                                    std::to_string(face[k]) + " of " +
                                    std::to_string(vertexCount) + ".",
                                "Kiln::IndexedShape::IndexedShape()");
        built->triangles.push_back(makeHapticTriangle(vertexAt(positions, face[0]),
                                                      vertexAt(positions, face[1]),
                                                      vertexAt(positions, face[2])));
        if (!built->triangles.back().valid)
            continue;
        validFaces.push_back(static_cast<std::uint32_t>(f));
        boxes.push_back(triangleBox(built->triangles.back()));
    }
    built->tree = TriangleTree(boxes);
    built->faceOfSlot.reserve(validFaces.size());
    built->reach.reserve(validFaces.size());
    for (const std::uint32_t index : built->tree.leafOrder()) {
        built->faceOfSlot.push_back(validFaces[index]);
        built->reach.push_back(makeTriangleReach(built->triangles[validFaces[index]]));
    }
    geometry = std::move(built);
    scratch = SweepScratch(geometry->reach.size());
}

namespace {

std::vector<float> positionsOf(const std::vector<Vertex>& vertices) {
    std::vector<float> positions;
    positions.reserve(3 * vertices.size());
    for (const Vertex& v : vertices)
        positions.insert(positions.end(), {v.position.x, v.position.y, v.position.z});
    return positions;
}

std::vector<std::uint32_t> indicesOf(const std::vector<Face>& faces) {
    std::vector<std::uint32_t> indices;
    indices.reserve(3 * faces.size());
    for (const Face& f : faces)
        indices.insert(indices.end(), {f.i0, f.i1, f.i2});
    return indices;
}

} // namespace

IndexedShape::IndexedShape(const std::vector<Face>& faces, const std::vector<Vertex>& vertices)
    : IndexedShape(positionsOf(vertices), indicesOf(faces)) {}

std::shared_ptr<IHapticShape> IndexedShape::clone() const {
    return std::make_shared<IndexedShape>(*this);
}

void IndexedShape::sweep(ConstraintRecord& record, const SweptSphere& sphere, double minT) const {
    const HapticTriangle& tri = triangleInSlot(record.triangle);
    if (!sideAccepts(dot(tri.n, sphere.localStart) - tri.d))
        return;
    SweepHit hit;
    if (!sweepSphereTriangle(tri, tickState().frame, sphere, minT, hit))
        return;
    record.active = true;
    record.t = hit.t;
    record.contact = hit.contact + tickState().frame.translation;
    record.barycentric = hit.barycentric;
    record.normal = hit.normal;
}

void IndexedShape::collectConstraints(std::vector<ConstraintRecord>& records,
                                      const Vec3d& proxy, const Vec3d& move, double radius,
                                      double backTolerance) {
    scratch.madeActive.clear();
    if (++scratch.tick == 0) { // wrapped: forget every old tick at once
        std::fill(scratch.tickOfSlot.begin(), scratch.tickOfSlot.end(), 0u);
        scratch.tick = 1;
    }
    updateConstraints(records, proxy, move, radius, backTolerance);
}

void IndexedShape::updateConstraints(std::vector<ConstraintRecord>& records, const Vec3d& proxy,
                                     const Vec3d& move, double radius, double backTolerance) {
    const ShapeFrame& frame = tickState().frame;
    if (!frame.valid)
        return;
    sweepEarliest(records, makeSweptSphere(frame, proxy, move, radius), -backTolerance);
}

std::uint32_t IndexedShape::recordFor(std::vector<ConstraintRecord>& records, std::uint32_t slot) {
    if (scratch.tickOfSlot[slot] == scratch.tick)
        return scratch.recordOfSlot[slot];
    const auto position = static_cast<std::uint32_t>(records.size());
    ConstraintRecord record;
    record.shape = this;
    record.triangle = static_cast<int>(slot);
    records.push_back(record);
    scratch.tickOfSlot[slot] = scratch.tick;
    scratch.recordOfSlot[slot] = position;
    return position;
}

// Every contact of a sweep lies within the radius of the path from the
// start (or from a little before it: touches up to sweepTouchingNow in the
// past count as now; earlier ones need an overlap at the start, which is
// near the start too) to the end. A rigidly placed shape keeps world
// distances, so the sphere around that path finds them in the local frame;
// a stretched one uses the local image of the box around the path.
template <typename Consider>
void IndexedShape::forEachNear(const SweptSphere& sphere, double minT, Consider&& consider) const {
    const ShapeFrame& frame = tickState().frame;
    const Geometry& geo = *geometry;
    const double radius = sphere.radius * (1.0 + 1e-9);
    if (frame.rigid) {
        const double from = std::max(minT, -2.0 * sweepTouchingNow);
        const Vec3d middle = sphere.localStart + sphere.localMove * (0.5 * (1.0 + from));
        const double span = 0.5 * (1.0 - from) * std::sqrt(sphere.moveLength2) + radius;
        geo.tree.forEachLeaf(
            [&](const Box3d& box) { return box.squaredDistanceTo(middle) <= span * span; },
            [&](std::uint32_t first, std::uint32_t count) {
                for (std::uint32_t slot = first; slot < first + count; ++slot) {
                    const TriangleReach& tri = geo.reach[slot];
                    const double near = span + tri.bound;
                    if (squaredLength(tri.centre - middle) <= near * near)
                        consider(slot, tri);
                }
            });
        return;
    }
    const Vec3d grow = Vec3d(length(frame.inverse.row(0)), length(frame.inverse.row(1)),
                             length(frame.inverse.row(2))) * radius;
    Box3d query;
    query.extend(sphere.localStart + sphere.localMove * minT);
    query.extend(sphere.localStart + sphere.localMove);
    query.min -= grow;
    query.max += grow;
    geo.tree.forEachLeaf([&](const Box3d& box) { return box.overlaps(query); },
                         [&](std::uint32_t first, std::uint32_t count) {
                             for (std::uint32_t slot = first; slot < first + count; ++slot) {
                                 const TriangleReach& tri = geo.reach[slot];
                                 if (query.squaredDistanceTo(tri.centre) <= tri.bound * tri.bound)
                                     consider(slot, tri);
                             }
                         });
}

void IndexedShape::queueReachable(const std::vector<ConstraintRecord>& records,
                                  const SweptSphere& sphere, double minT) {
    const bool rigid = tickState().frame.rigid;
    const SweepReach reach = makeSweepReach(tickState().frame, sphere, minT);
    auto& queue = scratch.queue;
    queue.clear();
    forEachNear(sphere, minT, [&](std::uint32_t slot, const TriangleReach& tri) {
        if (scratch.tickOfSlot[slot] == scratch.tick && records[scratch.recordOfSlot[slot]].removed)
            return;
        const double height = dot(tri.n, sphere.localStart) - tri.d;
        if (!sideAccepts(height))
            return;
        const double t = earliestPossibleHit(tri, reach, height);
        if (t <= 1.0)
            queue.push_back({t, slot, !rigid});
    });
}

void IndexedShape::sweepEarliest(std::vector<ConstraintRecord>& records,
                                 const SweptSphere& sphere, double minT) {
    for (const std::uint32_t position : scratch.madeActive)
        if (!records[position].removed)
            records[position].active = false;
    scratch.madeActive.clear();
    queueReachable(records, sphere, minT);
    // A triangle whose bound (first the cheap one, then the distance bound)
    // falls after the earliest hit found so far by more than simultaneousHit
    // cannot be among the earliest hits, as that only moves earlier. Taking
    // the smallest cheap bound first usually finds the earliest hit at once.
    // The slack covers the rounding of times, which grows as the move
    // shrinks against the radius.
    auto& queue = scratch.queue;
    if (queue.empty())
        return;
    const double slack =
        simultaneousHit + 1e-9 + 1e-13 * sphere.radius / std::sqrt(sphere.moveLength2);
    double earliest = std::numeric_limits<double>::infinity();
    const auto consider = [&](const QueuedTriangle& next) {
        if (next.earliest > earliest + slack)
            return;
        if (!next.byDistance) {
            const double bound = earliestHitByDistance(triangleInSlot(next.slot), sphere, next.earliest);
            if (bound > 1.0 || bound > earliest + slack)
                return;
        }
        const std::uint32_t position = recordFor(records, next.slot);
        ConstraintRecord& record = records[position];
        sweep(record, sphere, minT);
        if (!record.active)
            return;
        scratch.madeActive.push_back(position);
        earliest = std::min(earliest, record.t);
    };
    const auto soonest = std::min_element(
        queue.begin(), queue.end(),
        [](const QueuedTriangle& a, const QueuedTriangle& b) { return a.earliest < b.earliest; });
    consider(*soonest);
    soonest->earliest = std::numeric_limits<double>::infinity();
    for (const QueuedTriangle& next : queue)
        consider(next);
}

double IndexedShape::localDistance(const Vec3d& point, double reach) const {
    const Geometry& geo = *geometry;
    double best = reach * reach;
    geo.tree.forEachLeaf(
        [&](const Box3d& box) { return box.squaredDistanceTo(point) <= best; },
        [&](std::uint32_t first, std::uint32_t count) {
            for (std::uint32_t slot = first; slot < first + count; ++slot) {
                const HapticTriangle& tri = triangleInSlot(slot);
                best = std::min(best, squaredLength(point - closestPointOnTriangle(
                                                                point, tri.p0, tri.p1, tri.p2)));
            }
        });
    return std::sqrt(best);
}

} // namespace Kiln
