#pragma once
// A touchable triangle mesh: one record per face with its plane and
// barycentric map, and a tree for finding the faces near the proxy. The
// geometry never changes after construction (a changed mesh gets a new
// shape), so clones share it. A shape for the same faces with some vertices
// moved (a sculpted dent) is made by refitting: the moved triangles are
// remade and the tree's boxes above them refitted, and everything else is
// shared, page by page, with the shape it came from.
#include "haptics/HapticShape.h"
#include "haptics/PagedArray.h"
#include "mesh/Vertex.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Kiln {

/// A shape's triangles in face order (the shape keeps them in its own order).
class HapticTriangleList {
public:
    std::size_t size() const { return slotOfFace->size(); }
    const HapticTriangle& operator[](std::size_t face) const { return bySlot[(*slotOfFace)[face]]; }

private:
    friend class IndexedShape;
    PagedArray<HapticTriangle> bySlot;
    std::shared_ptr<const std::vector<std::uint32_t>> slotOfFace =
        std::make_shared<const std::vector<std::uint32_t>>();
};

/// What making a shape's geometry cost: a refit or a whole build.
struct ShapeUpdateStats {
    bool rebuilt = false;             ///< built from scratch, not refitted
    std::size_t movedVertices = 0;
    std::size_t movedTriangles = 0;
    std::size_t pagesCopied = 0;      ///< pages not shared with the old shape
    std::size_t pagesTotal = 0;
};

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

    /// Whether `faces` are exactly the faces this shape was built from.
    bool hasFaces(const std::vector<Face>& faces) const;
    /// A shape of the same faces over `vertices` (as many as this shape's),
    /// found by comparing them with the positions this shape was built
    /// from; it answers every query as a shape built from scratch on them
    /// would. Null when the vertex count differs or a moved triangle turns
    /// degenerate or stops being so (build anew then). The new shape has a
    /// default placement, side and surface. Main thread; this shape may be
    /// in use on the haptic thread meanwhile.
    std::shared_ptr<IndexedShape> refitted(const std::vector<Vertex>& vertices,
                                           ShapeUpdateStats* stats = nullptr) const;
    /// The same for a caller that knows what it moved: `movedVertices`
    /// must name every vertex whose position differs from this shape's
    /// (repeats and unmoved ones are allowed). Throws Kiln::Exception
    /// (code 3) for an index that names no vertex.
    std::shared_ptr<IndexedShape> refitted(const std::vector<Vertex>& vertices,
                                           const std::vector<std::uint32_t>& movedVertices,
                                           ShapeUpdateStats* stats = nullptr) const;

    void collectConstraints(std::vector<ConstraintRecord>& records, const Vec3d& proxy,
                            const Vec3d& move, double radius, double backTolerance) override;
    void updateConstraints(std::vector<ConstraintRecord>& records, const Vec3d& proxy,
                           const Vec3d& move, double radius, double backTolerance) override;

    /// Distance from a local-frame point to the nearest triangle, looking
    /// only within `reach` of it (reach when nothing is that close).
    double localDistance(const Vec3d& point, double reach) const;

    const HapticTriangleList& getTriangles() const;
    /// Local-frame bounds of all triangles.
    const Box3d& getBounds() const;

private:
    /// Triangles are kept, and numbered in the records, by slot: the valid
    /// ones in the tree's leaf order, so that the data read near the proxy
    /// lies together, then the degenerate ones, which touch nothing.
    /// Which faces use each vertex (compressed rows), for refits.
    struct VertexFaces {
        std::vector<std::uint32_t> start; ///< vertex v: faces[start[v]] .. faces[start[v + 1] - 1]
        std::vector<std::uint32_t> faces;
    };

    /// The triangles, their tree and what refits share (IndexedShape.cpp).
    struct Geometry;

    explicit IndexedShape(std::shared_ptr<const Geometry> geometry);
    std::shared_ptr<IndexedShape> refitFaces(const std::vector<Vertex>& vertices,
                                             std::vector<std::uint32_t>& moved,
                                             ShapeUpdateStats* stats) const;

    /// One triangle still in play while finding the earliest hits.
    struct QueuedTriangle {
        double earliest;    ///< no hit before this
        std::uint32_t slot;
        bool byDistance;    ///< `earliest` is the distance bound already
    };

    /// Haptic-thread working memory: which records of the tick are this
    /// shape's. Sized for the triangles when the shape is built (on the
    /// main thread), so a tick allocates nothing; a copy starts afresh, as
    /// it may be made on another thread while the original is in use.
    struct SweepScratch {
        explicit SweepScratch(std::size_t slots = 0) : recordOfSlot(slots), tickOfSlot(slots) {}
        SweepScratch(const SweepScratch& other) : SweepScratch(other.tickOfSlot.size()) {}
        SweepScratch& operator=(const SweepScratch&) = delete;
        SweepScratch& operator=(SweepScratch&&) = default;

        std::vector<std::uint32_t> recordOfSlot; ///< valid where tickOfSlot is `tick`
        std::vector<std::uint32_t> tickOfSlot;
        std::uint32_t tick = 0;
        /// Records this shape marked active, to be cleared before the next sweep.
        std::vector<std::uint32_t> madeActive;
        std::vector<QueuedTriangle> queue;
    };

    const HapticTriangle& triangleInSlot(std::uint32_t slot) const;
    /// Finds this tick's record of a triangle, or adds one; its position.
    std::uint32_t recordFor(std::vector<ConstraintRecord>& records, std::uint32_t slot);
    /// Sweeps one triangle and fills the record's hit fields.
    void sweep(ConstraintRecord& record, const SweptSphere& sphere, double minT) const;
    /// Makes sure every triangle hit within simultaneousHit of the earliest
    /// hit of this move has an active record with its exact time, and every
    /// other record of the shape (except those removed) is inactive.
    /// nearFirst: the triangles near the start are likely hit at once (as
    /// at the start of a tick, when the proxy rests on the surface and is
    /// pressed into it), so they are looked at before the others.
    void sweepEarliest(std::vector<ConstraintRecord>& records, const SweptSphere& sphere,
                       double minT, bool nearFirst);
    /// Which of the triangles near a sweep to take: those whose bounding
    /// sphere comes within `reach` of the start, the others, or all.
    struct StartRegion {
        enum Part { All, Near, Far } part = All;
        double reach = 0.0;
    };
    /// Fills the queue with the triangles of the region the sweep may hit,
    /// and a bound for each, leaving out those whose record is removed.
    void queueReachable(const std::vector<ConstraintRecord>& records, const SweptSphere& sphere,
                        double minT, StartRegion region);
    /// Sweeps the queued triangles exactly in the order of their bounds, as
    /// long as they may come within simultaneousHit of `earliest`, the
    /// earliest hit so far, which this lowers.
    void sweepQueued(std::vector<ConstraintRecord>& records, const SweptSphere& sphere,
                     double minT, double& earliest);
    /// Calls consider(slot, triangle) for the triangles of the region whose
    /// bounding sphere comes within reach of the sweep.
    template <typename Consider>
    void forEachNear(const SweptSphere& sphere, double minT, StartRegion region,
                     Consider&& consider) const;

    std::shared_ptr<const Geometry> geometry;
    SweepScratch scratch;
};

} // namespace Kiln
