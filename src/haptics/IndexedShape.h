#pragma once
// A touchable triangle mesh: one record per face with its plane and
// barycentric map, and a tree for finding the faces near the proxy. The
// geometry never changes after construction (a changed mesh gets a new
// shape), so clones share it.
#include "haptics/HapticShape.h"
#include "haptics/TriangleTree.h"
#include "mesh/Vertex.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Kiln {

class IndexedShape : public RuspiniShape {
public:
    /// positions: x, y, z per vertex; indices: three per triangle, front
    /// face counter-clockwise. Throws Kiln::Exception (code 3) for an index
    /// that names no vertex.
    IndexedShape(const std::vector<float>& positions, const std::vector<std::uint32_t>& indices);
    IndexedShape(const float* positions, std::size_t vertexCount, const std::uint32_t* indices,
                 std::size_t triangleCount);
    /// One triangle per face of a mesh, in face order.
    IndexedShape(const std::vector<Face>& faces, const std::vector<Vertex>& vertices);

    std::shared_ptr<IHapticShape> clone() const override;

    void collectConstraints(std::vector<ConstraintRecord>& out, const Vec3d& proxy,
                            const Vec3d& move, double radius, double backTolerance,
                            double backUp) override;
    ConstraintRecord* updateConstraints(ConstraintRecord* first, ConstraintRecord* last,
                                        const Vec3d& proxy, const Vec3d& move, double radius,
                                        double backTolerance) override;

    /// Distance from a local-frame point to the nearest triangle, looking
    /// only within `reach` of it (reach when nothing is that close).
    double localDistance(const Vec3d& point, double reach) const;

    const std::vector<HapticTriangle>& getTriangles() const { return geometry->triangles; }
    /// Local-frame bounds of all triangles.
    const Box3d& getBounds() const { return geometry->tree.bounds(); }

private:
    /// Triangles are numbered in the records by their slot: their position
    /// in the tree's leaf order, in which the data read for every candidate
    /// lies. Degenerate triangles touch nothing and have no slot.
    struct Geometry {
        std::vector<HapticTriangle> triangles; ///< in face order
        TriangleTree tree;                     ///< over the valid triangles
        std::vector<std::uint32_t> faceOfSlot;
        std::vector<TriangleReach> reach;      ///< by slot
    };

    /// One record still in play while finding the earliest hits.
    struct QueuedRecord {
        double earliest;      ///< no hit before this
        std::uint32_t offset; ///< from the first record of the run
        bool byDistance;      ///< `earliest` is the distance bound already
    };

    /// Haptic-thread working memory. A copy starts empty: the copy may be
    /// made on another thread while the original is in use.
    struct SweepScratch {
        SweepScratch() = default;
        SweepScratch(const SweepScratch&) {}
        SweepScratch& operator=(const SweepScratch&) { return *this; }
        std::vector<QueuedRecord> queue;
    };

    const HapticTriangle& triangleInSlot(int slot) const {
        return geometry->triangles[geometry->faceOfSlot[slot]];
    }
    /// Appends an inactive record for every triangle within reach this tick.
    void gatherCandidates(std::vector<ConstraintRecord>& out, const Vec3d& proxy,
                          const Vec3d& move, double reach);
    /// Sweeps one triangle and fills the record's hit fields.
    void sweep(ConstraintRecord& record, const SweptSphere& sphere, double minT) const;
    /// Marks active, with exact times, every record of [first, last) (except
    /// those removed) hit within simultaneousHit of the earliest hit, and
    /// leaves the rest inactive.
    void sweepEarliest(ConstraintRecord* first, ConstraintRecord* last, const SweptSphere& sphere,
                       double minT);
    /// Fills the queue with the records the sweep may hit, and a bound each.
    void queueReachable(ConstraintRecord* first, ConstraintRecord* last,
                        const SweptSphere& sphere, double minT);

    std::shared_ptr<const Geometry> geometry;
    SweepScratch scratch;
};

} // namespace Kiln
