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

void IndexedShape::collectConstraints(std::vector<ConstraintRecord>& out, const Vec3d& proxy,
                                      const Vec3d& move, double radius, double backTolerance,
                                      double backUp) {
    const ShapeFrame& frame = tickState().frame;
    if (!frame.valid)
        return;
    // Every position the proxy can take this tick lies within reach of the
    // goal. A stretched shape may report touches in the past that the
    // caller did not foresee, so it allows for the whole back tolerance.
    const double back = frame.rigid ? backUp : std::max(backUp, backTolerance);
    const double reach = length(move) * (1.0 + back) + radius;
    const std::size_t firstNew = out.size();
    gatherCandidates(out, proxy, move, reach);
    sweepEarliest(out.data() + firstNew, out.data() + out.size(),
                  makeSweptSphere(frame, proxy, move, radius), -backTolerance);
}

// A rigidly placed shape keeps world distances, so a triangle counts when
// its bounding sphere and its plane come within reach of the goal. A
// stretched one takes what meets the local image of the box around it.
void IndexedShape::gatherCandidates(std::vector<ConstraintRecord>& out, const Vec3d& proxy,
                                    const Vec3d& move, double reach) {
    const ShapeFrame& frame = tickState().frame;
    const Geometry& geo = *geometry;
    const Vec3d goal = frame.inverse * (proxy + move - frame.translation);
    ConstraintRecord record;
    record.shape = this;
    const auto add = [&](std::uint32_t slot) {
        record.triangle = static_cast<int>(slot);
        out.push_back(record);
    };
    if (frame.rigid) {
        geo.tree.forEachLeaf(
            [&](const Box3d& box) { return box.squaredDistanceTo(goal) <= reach * reach; },
            [&](std::uint32_t first, std::uint32_t count) {
                for (std::uint32_t slot = first; slot < first + count; ++slot) {
                    const TriangleReach& tri = geo.reach[slot];
                    const double near = reach + tri.bound;
                    if (squaredLength(tri.centre - goal) <= near * near &&
                        std::fabs(dot(tri.n, goal) - tri.d) <= reach)
                        add(slot);
                }
            });
        return;
    }
    const Vec3d half = Vec3d(length(frame.inverse.row(0)), length(frame.inverse.row(1)),
                             length(frame.inverse.row(2))) * reach;
    Box3d query;
    query.min = goal - half;
    query.max = goal + half;
    geo.tree.forEachLeaf([&](const Box3d& box) { return box.overlaps(query); },
                         [&](std::uint32_t first, std::uint32_t count) {
                             for (std::uint32_t slot = first; slot < first + count; ++slot) {
                                 const TriangleReach& tri = geo.reach[slot];
                                 if (query.squaredDistanceTo(tri.centre) <= tri.bound * tri.bound)
                                     add(slot);
                             }
                         });
}

// Cheapest tests first: the sphere around the whole sweep (a touch before
// the start needs an overlap at the start, which lies inside it too), the
// side, then the plane and the bounding sphere.
void IndexedShape::queueReachable(ConstraintRecord* first, ConstraintRecord* last,
                                  const SweptSphere& sphere, double minT) {
    const ShapeFrame& frame = tickState().frame;
    const Geometry& geo = *geometry;
    const double from = std::max(minT, -2.0 * sweepTouchingNow);
    const Vec3d middle = sphere.localStart + sphere.localMove * (0.5 * (1.0 + from));
    const double span = 0.5 * (1.0 - from) * std::sqrt(sphere.moveLength2) +
                        sphere.radius * (1.0 + 1e-9);
    auto& queue = scratch.queue;
    queue.clear();
    for (ConstraintRecord* record = first; record != last; ++record) {
        if (record->removed)
            continue;
        record->active = false;
        const TriangleReach& tri = geo.reach[record->triangle];
        if (frame.rigid) {
            const double near = span + tri.bound;
            if (squaredLength(tri.centre - middle) > near * near)
                continue;
        }
        if (!sideAccepts(dot(tri.n, sphere.localStart) - tri.d))
            continue;
        const double t = earliestPossibleHit(tri, frame, sphere, minT);
        if (t <= 1.0)
            queue.push_back({t, static_cast<std::uint32_t>(record - first), !frame.rigid});
    }
}

void IndexedShape::sweepEarliest(ConstraintRecord* first, ConstraintRecord* last,
                                 const SweptSphere& sphere, double minT) {
    queueReachable(first, last, sphere, minT);
    // A record whose bound (first the cheap one, then the distance bound)
    // falls after the earliest hit found so far by more than simultaneousHit
    // cannot be among the earliest hits, as that only moves earlier. Taking
    // the smallest cheap bound first usually finds the earliest hit at once.
    // The slack covers the rounding of times, which grows as the move
    // shrinks against the radius.
    auto& queue = scratch.queue;
    if (queue.empty())
        return;
    const double slack = simultaneousHit + 1e-9 + 1e-13 * sphere.radius / std::sqrt(sphere.moveLength2);
    double earliest = std::numeric_limits<double>::infinity();
    const auto consider = [&](QueuedRecord& next) {
        if (next.earliest > earliest + slack)
            return;
        ConstraintRecord& record = first[next.offset];
        if (!next.byDistance) {
            const double bound =
                earliestHitByDistance(triangleInSlot(record.triangle), sphere, next.earliest);
            if (bound > 1.0 || bound > earliest + slack)
                return;
        }
        sweep(record, sphere, minT);
        if (record.active)
            earliest = std::min(earliest, record.t);
    };
    const auto soonest = std::min_element(
        queue.begin(), queue.end(),
        [](const QueuedRecord& a, const QueuedRecord& b) { return a.earliest < b.earliest; });
    consider(*soonest);
    soonest->earliest = std::numeric_limits<double>::infinity();
    for (QueuedRecord& next : queue)
        consider(next);
}

double IndexedShape::localDistance(const Vec3d& point, double reach) const {
    const Geometry& geo = *geometry;
    double best = reach * reach;
    geo.tree.forEachLeaf(
        [&](const Box3d& box) { return box.squaredDistanceTo(point) <= best; },
        [&](std::uint32_t first, std::uint32_t count) {
            for (std::uint32_t slot = first; slot < first + count; ++slot) {
                const HapticTriangle& tri = triangleInSlot(static_cast<int>(slot));
                best = std::min(best, squaredLength(point - closestPointOnTriangle(
                                                                point, tri.p0, tri.p1, tri.p2)));
            }
        });
    return std::sqrt(best);
}

ConstraintRecord* IndexedShape::updateConstraints(ConstraintRecord* first, ConstraintRecord* last,
                                                  const Vec3d& proxy, const Vec3d& move,
                                                  double radius, double backTolerance) {
    ConstraintRecord* end = first;
    while (end != last && end->shape == this)
        ++end;
    sweepEarliest(first, end, makeSweptSphere(tickState().frame, proxy, move, radius),
                  -backTolerance);
    return end;
}

} // namespace Kiln
