#include "haptics/IndexedShape.h"

#include "detail/SphereSweep.h"
#include "detail/TriangleTree.h"

#include "log/Exception.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace Kiln {

struct IndexedShape::Geometry {
    HapticTriangleList triangles;
    TriangleTree tree;                ///< over the valid triangles
    PagedArray<TriangleReach> reach;  ///< by slot, for the valid triangles
    /// An upper bound of the bounding spheres' radii (exact after a
    /// build; a refit only raises it, which costs queries nothing).
    double largestBound = 0.0;
    std::shared_ptr<const std::vector<std::uint32_t>> indices; ///< three per face
    PagedArray<Ogre::Vector3> positions; ///< the vertices the triangles were made from
    /// Made by the first refit, then shared while the faces stay.
    std::shared_ptr<const VertexFaces> vertexFaces;
};

const HapticTriangleList& IndexedShape::getTriangles() const { return geometry->triangles; }

const Box3d& IndexedShape::getBounds() const { return geometry->tree.bounds(); }

const HapticTriangle& IndexedShape::triangleInSlot(std::uint32_t slot) const {
    return geometry->triangles.bySlot[slot];
}

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

// Two passes over the faces, so that the triangle records are made once,
// straight into their slots.
IndexedShape::IndexedShape(const float* positions, std::size_t vertexCount,
                           const std::uint32_t* indices, std::size_t triangleCount) {
    const auto triangleAt = [&](std::size_t f) {
        const std::uint32_t* face = indices + 3 * f;
        return makeHapticTriangle(vertexAt(positions, face[0]), vertexAt(positions, face[1]),
                                  vertexAt(positions, face[2]));
    };
    std::vector<std::uint32_t> validFaces, degenerateFaces;
    std::vector<Box3d> boxes;
    validFaces.reserve(triangleCount);
    boxes.reserve(triangleCount);
    for (std::size_t f = 0; f < triangleCount; ++f) {
        const std::uint32_t* face = indices + 3 * f;
        for (int k = 0; k < 3; ++k)
            if (face[k] >= vertexCount)
                throw Exception(ErrorCode::InvalidValue,
                                "Face " + std::to_string(f) + " refers to vertex " +
                                    std::to_string(face[k]) + " of " +
                                    std::to_string(vertexCount) + ".",
                                "Kiln::IndexedShape::IndexedShape()");
        const HapticTriangle tri = triangleAt(f);
        (tri.valid ? validFaces : degenerateFaces).push_back(static_cast<std::uint32_t>(f));
        if (tri.valid)
            boxes.push_back(triangleBox(tri));
    }
    auto built = std::make_shared<Geometry>();
    built->tree = TriangleTree(boxes);
    std::vector<HapticTriangle> bySlot;
    std::vector<std::uint32_t> slotOfFace(triangleCount);
    std::vector<TriangleReach> reach;
    bySlot.reserve(triangleCount);
    reach.reserve(validFaces.size());
    const auto place = [&](std::uint32_t face) {
        slotOfFace[face] = static_cast<std::uint32_t>(bySlot.size());
        bySlot.push_back(triangleAt(face));
    };
    for (const std::uint32_t index : built->tree.leafOrder()) {
        place(validFaces[index]);
        reach.push_back(makeTriangleReach(bySlot.back()));
        built->largestBound = std::max(built->largestBound, reach.back().bound);
    }
    for (const std::uint32_t face : degenerateFaces)
        place(face);
    built->triangles.bySlot = PagedArray<HapticTriangle>(bySlot);
    built->triangles.slotOfFace =
        std::make_shared<const std::vector<std::uint32_t>>(std::move(slotOfFace));
    built->reach = PagedArray<TriangleReach>(reach);
    built->indices =
        std::make_shared<const std::vector<std::uint32_t>>(indices, indices + 3 * triangleCount);
    std::vector<Ogre::Vector3> corners(vertexCount);
    for (std::size_t v = 0; v < vertexCount; ++v)
        corners[v] = {positions[3 * v], positions[3 * v + 1], positions[3 * v + 2]};
    built->positions = PagedArray<Ogre::Vector3>(corners);
    geometry = std::move(built);
    scratch = SweepScratch(geometry->reach.size());
}

IndexedShape::IndexedShape(std::shared_ptr<const Geometry> shared)
    : geometry(std::move(shared)), scratch(geometry->reach.size()) {}

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

bool IndexedShape::hasFaces(const std::vector<Face>& faces) const {
    const std::vector<std::uint32_t>& own = *geometry->indices;
    if (own.size() != 3 * faces.size())
        return false;
    for (std::size_t f = 0; f < faces.size(); ++f)
        if (own[3 * f] != faces[f].i0 || own[3 * f + 1] != faces[f].i1 || own[3 * f + 2] != faces[f].i2)
            return false;
    return true;
}

std::shared_ptr<IndexedShape> IndexedShape::refitted(const std::vector<Vertex>& vertices,
                                                     ShapeUpdateStats* stats) const {
    const PagedArray<Ogre::Vector3>& built = geometry->positions;
    if (vertices.size() != built.size())
        return nullptr;
    std::vector<std::uint32_t> moved;
    for (std::size_t v = 0; v < vertices.size(); ++v)
        if (vertices[v].position != built[v])
            moved.push_back(static_cast<std::uint32_t>(v));
    return refitFaces(vertices, moved, stats);
}

std::shared_ptr<IndexedShape> IndexedShape::refitted(const std::vector<Vertex>& vertices,
                                                     const std::vector<std::uint32_t>& movedVertices,
                                                     ShapeUpdateStats* stats) const {
    const PagedArray<Ogre::Vector3>& built = geometry->positions;
    if (vertices.size() != built.size())
        return nullptr;
    std::vector<std::uint32_t> moved;
    moved.reserve(movedVertices.size());
    for (const std::uint32_t v : movedVertices) {
        if (v >= vertices.size())
            throw Exception(ErrorCode::InvalidValue,
                            "Moved vertex " + std::to_string(v) + " of " +
                                std::to_string(vertices.size()) + ".",
                            "Kiln::IndexedShape::refitted()");
        if (vertices[v].position != built[v])
            moved.push_back(v);
    }
    std::sort(moved.begin(), moved.end());
    moved.erase(std::unique(moved.begin(), moved.end()), moved.end());
    return refitFaces(vertices, moved, stats);
}

namespace {

// Counting sort of the corners by vertex.
std::vector<std::uint32_t> facesByVertex(const std::vector<std::uint32_t>& indices,
                                         std::size_t vertexCount, std::vector<std::uint32_t>& start) {
    start.assign(vertexCount + 1, 0);
    for (const std::uint32_t v : indices)
        ++start[v + 1];
    for (std::size_t v = 0; v < vertexCount; ++v)
        start[v + 1] += start[v];
    std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
    std::vector<std::uint32_t> faces(indices.size());
    for (std::size_t corner = 0; corner < indices.size(); ++corner)
        faces[next[indices[corner]]++] = static_cast<std::uint32_t>(corner / 3);
    return faces;
}

} // namespace

// Only the triangles around moved vertices are made again; a triangle keeps
// its slot, so the tree keeps its shape and only the boxes on the paths to
// the moved slots change.
std::shared_ptr<IndexedShape> IndexedShape::refitFaces(const std::vector<Vertex>& vertices,
                                                       std::vector<std::uint32_t>& moved,
                                                       ShapeUpdateStats* stats) const {
    const Geometry& old = *geometry;
    auto next = std::make_shared<Geometry>(old);
    if (!next->vertexFaces) {
        auto table = std::make_shared<VertexFaces>();
        table->faces = facesByVertex(*old.indices, vertices.size(), table->start);
        next->vertexFaces = std::move(table);
    }
    const VertexFaces& around = *next->vertexFaces;
    std::vector<std::uint32_t> faces;
    for (const std::uint32_t v : moved) {
        faces.insert(faces.end(), around.faces.begin() + around.start[v],
                     around.faces.begin() + around.start[v + 1]);
        next->positions.set(v, vertices[v].position);
    }
    std::sort(faces.begin(), faces.end());
    faces.erase(std::unique(faces.begin(), faces.end()), faces.end());

    const std::vector<std::uint32_t>& indices = *old.indices;
    const std::vector<std::uint32_t>& slotOfFace = *old.triangles.slotOfFace;
    const std::size_t validCount = old.reach.size();
    const auto corner = [&](std::uint32_t index) {
        const Ogre::Vector3& p = vertices[index].position;
        return Vec3d(p.x, p.y, p.z);
    };
    std::vector<std::pair<std::uint32_t, Box3d>> boxes;
    boxes.reserve(faces.size());
    for (const std::uint32_t f : faces) {
        const HapticTriangle tri = makeHapticTriangle(corner(indices[3 * f]), corner(indices[3 * f + 1]),
                                                      corner(indices[3 * f + 2]));
        const std::uint32_t slot = slotOfFace[f];
        if (tri.valid != (slot < validCount))
            return nullptr;
        next->triangles.bySlot.set(slot, tri);
        if (!tri.valid)
            continue;
        const TriangleReach reach = makeTriangleReach(tri);
        next->reach.set(slot, reach);
        next->largestBound = std::max(next->largestBound, reach.bound);
        boxes.emplace_back(slot, triangleBox(tri));
    }
    std::sort(boxes.begin(), boxes.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    next->tree = old.tree.refitted(boxes);
    if (stats) {
        stats->rebuilt = false;
        stats->movedVertices = moved.size();
        stats->movedTriangles = faces.size();
        stats->pagesCopied = next->triangles.bySlot.pagesCopied() + next->reach.pagesCopied() +
                             next->positions.pagesCopied() + next->tree.pagesCopied();
        stats->pagesTotal = next->triangles.bySlot.pageCount() + next->reach.pageCount() +
                            next->positions.pageCount() + next->tree.pageCount();
    }
    return std::shared_ptr<IndexedShape>(new IndexedShape(std::move(next)));
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
    const ShapeFrame& frame = tickState().frame;
    if (frame.valid)
        sweepEarliest(records, makeSweptSphere(frame, proxy, move, radius), -backTolerance, true);
}

void IndexedShape::updateConstraints(std::vector<ConstraintRecord>& records, const Vec3d& proxy,
                                     const Vec3d& move, double radius, double backTolerance) {
    const ShapeFrame& frame = tickState().frame;
    if (frame.valid)
        sweepEarliest(records, makeSweptSphere(frame, proxy, move, radius), -backTolerance, false);
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
void IndexedShape::forEachNear(const SweptSphere& sphere, double minT, StartRegion region,
                               Consider&& consider) const {
    const ShapeFrame& frame = tickState().frame;
    const Geometry& geo = *geometry;
    const double radius = sphere.radius * (1.0 + 1e-9);
    if (frame.rigid) {
        const double from = std::max(minT, -2.0 * sweepTouchingNow);
        const Vec3d middle = sphere.localStart + sphere.localMove * (0.5 * (1.0 + from));
        const double span = 0.5 * (1.0 - from) * std::sqrt(sphere.moveLength2) + radius;
        // Triangles come out of the leaves met by the sphere around the path
        // when their bounding sphere meets the capsule around it.
        const Vec3d half = sphere.localMove * (0.5 * (1.0 - from));
        const double inverseHalf2 = 1.0 / std::max(squaredLength(half), 1e-300);
        const Vec3d& start = sphere.localStart;
        // A triangle near the start has its centre, so its leaf's box, within
        // reach and its bound of the start.
        const double leafReach = region.reach + geo.largestBound;
        const double leafReach2 = leafReach * leafReach;
        const auto inRegion = [&](const TriangleReach& tri) {
            if (region.part == StartRegion::All)
                return true;
            const double near = region.reach + tri.bound;
            return (squaredLength(tri.centre - start) <= near * near) ==
                   (region.part == StartRegion::Near);
        };
        geo.tree.forEachLeaf(
            [&](const Box3d& box) {
                return box.squaredDistanceTo(middle) <= span * span &&
                       (region.part != StartRegion::Near ||
                        box.squaredDistanceTo(start) <= leafReach2);
            },
            [&](std::uint32_t first, std::uint32_t count) {
                for (std::uint32_t slot = first; slot < first + count; ++slot) {
                    const TriangleReach& tri = geo.reach[slot];
                    const Vec3d offset = tri.centre - middle;
                    const double along = std::clamp(dot(offset, half) * inverseHalf2, -1.0, 1.0);
                    const double near = radius + tri.bound;
                    if (squaredLength(offset - half * along) <= near * near && inRegion(tri))
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
                                  const SweptSphere& sphere, double minT, StartRegion region) {
    const bool rigid = tickState().frame.rigid;
    const SweepReach reach = makeSweepReach(tickState().frame, sphere, minT);
    auto& queue = scratch.queue;
    queue.clear();
    forEachNear(sphere, minT, region, [&](std::uint32_t slot, const TriangleReach& tri) {
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
                                 const SweptSphere& sphere, double minT, bool nearFirst) {
    for (const std::uint32_t position : scratch.madeActive)
        if (!records[position].removed)
            records[position].active = false;
    scratch.madeActive.clear();
    double earliest = std::numeric_limits<double>::infinity();
    if (!nearFirst || !tickState().frame.rigid) {
        queueReachable(records, sphere, minT, {});
        sweepQueued(records, sphere, minT, earliest);
        return;
    }
    // The triangles near the start first: those further than `ahead` of the
    // move beyond the radius cannot be touched before that fraction of it,
    // so they need no look when a nearer one is touched sooner.
    constexpr double ahead = 0.03;
    const double moveLength = std::sqrt(sphere.moveLength2);
    const double nearStart = sphere.radius * (1.0 + 1e-9) + ahead * moveLength;
    queueReachable(records, sphere, minT, {StartRegion::Near, nearStart});
    sweepQueued(records, sphere, minT, earliest);
    if (earliest + simultaneousHit + 1e-9 < ahead)
        return;
    queueReachable(records, sphere, minT, {StartRegion::Far, nearStart});
    sweepQueued(records, sphere, minT, earliest);
}

void IndexedShape::sweepQueued(std::vector<ConstraintRecord>& records,
                               const SweptSphere& sphere, double minT, double& earliest) {
    // A triangle whose bound (first the cheap one, then the distance bound)
    // falls after the earliest hit found so far by more than simultaneousHit
    // cannot be among the earliest hits, as that only moves earlier. The
    // smallest cheap bound is often the earliest hit when pressing on a
    // surface, so it goes first; the rest are swept in the order of their
    // distance bounds. The slack covers the rounding of times, which grows
    // as the move shrinks against the radius.
    auto& queue = scratch.queue;
    if (queue.empty())
        return;
    const double slack =
        simultaneousHit + 1e-9 + 1e-13 * sphere.radius / std::sqrt(sphere.moveLength2);
    const bool rigid = tickState().frame.rigid;
    const auto sweepExactly = [&](std::uint32_t slot, double from) {
        // A contact must also come before the latest time the distance at
        // the end allows: often none does when the move ends near but clear.
        if (rigid && latestHitByDistance(triangleInSlot(slot), sphere) + slack < from)
            return;
        const std::uint32_t position = recordFor(records, slot);
        ConstraintRecord& record = records[position];
        sweep(record, sphere, minT);
        if (!record.active)
            return;
        scratch.madeActive.push_back(position);
        earliest = std::min(earliest, record.t);
    };
    const auto byBound = [](const QueuedTriangle& a, const QueuedTriangle& b) {
        return a.earliest < b.earliest;
    };
    std::iter_swap(queue.begin(), std::min_element(queue.begin(), queue.end(), byBound));
    auto kept = queue.begin();
    for (QueuedTriangle& next : queue) {
        if (next.earliest > earliest + slack)
            continue;
        if (!next.byDistance) {
            next.earliest =
                earliestHitByDistance(triangleInSlot(next.slot), sphere, next.earliest);
            if (next.earliest > 1.0 || next.earliest > earliest + slack)
                continue;
        }
        if (&next == &queue.front())
            sweepExactly(next.slot, next.earliest);
        else
            *kept++ = next;
    }
    std::sort(queue.begin(), kept, byBound);
    for (auto next = queue.begin(); next != kept && next->earliest <= earliest + slack; ++next)
        sweepExactly(next->slot, next->earliest);
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
