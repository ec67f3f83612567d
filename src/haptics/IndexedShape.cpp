#include "haptics/IndexedShape.h"

#include "log/Exception.h"

#include <algorithm>
#include <cmath>
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
        boxes.push_back(triangleBox(built->triangles.back()));
    }
    built->tree = TriangleTree(boxes);
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
    const HapticTriangle& tri = geometry->triangles[record.triangle];
    if (!tri.valid || !sideAccepts(tri, sphere.localStart))
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
    const SweptSphere sphere = makeSweptSphere(frame, proxy, move, radius);
    // Every position the proxy can take this tick lies within reach of the
    // goal. A stretched shape may report touches in the past that the
    // caller did not foresee, so it allows for the whole back tolerance.
    const double moveLength = length(move);
    const double back = frame.rigid ? backUp : std::max(backUp, backTolerance);
    const double reach = moveLength * (1.0 + back) + radius;
    const Vec3d goal = proxy + move - frame.translation;
    const Vec3d centre = frame.inverse * goal;
    const Vec3d half = Vec3d(length(frame.inverse.row(0)), length(frame.inverse.row(1)),
                             length(frame.inverse.row(2))) * reach;
    Box3d query;
    query.min = centre - half;
    query.max = centre + half;
    geometry->tree.forEachOverlap(query, [&](std::uint32_t index) {
        const HapticTriangle& tri = geometry->triangles[index];
        if (frame.rigid && squaredLength(frame.linear * tri.centre - goal) >
                               (reach + tri.bound) * (reach + tri.bound))
            return;
        ConstraintRecord record;
        record.shape = this;
        record.triangle = static_cast<int>(index);
        sweep(record, sphere, -backTolerance);
        out.push_back(record);
    });
}

double IndexedShape::localDistance(const Vec3d& point, double reach) const {
    Box3d query;
    query.min = point - Vec3d(reach, reach, reach);
    query.max = point + Vec3d(reach, reach, reach);
    double best = reach * reach;
    geometry->tree.forEachOverlap(query, [&](std::uint32_t index) {
        const HapticTriangle& tri = geometry->triangles[index];
        best = std::min(best,
                        squaredLength(point - closestPointOnTriangle(point, tri.p0, tri.p1, tri.p2)));
    });
    return std::sqrt(best);
}

ConstraintRecord* IndexedShape::updateConstraints(ConstraintRecord* first, ConstraintRecord* last,
                                                  const Vec3d& proxy, const Vec3d& move,
                                                  double radius, double backTolerance) {
    const SweptSphere sphere = makeSweptSphere(tickState().frame, proxy, move, radius);
    ConstraintRecord* record = first;
    for (; record != last && record->shape == this; ++record) {
        if (record->removed)
            continue;
        record->active = false;
        sweep(*record, sphere, -backTolerance);
    }
    return record;
}

} // namespace Kiln
