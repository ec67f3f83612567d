#pragma once
// Boolean operations on objects' meshes as a small stack machine: push two
// operands with their world matrices, apply an operation, pop the result.
#include "geometry/Boolean.h"
#include "mesh/DynamicMesh.h"

#include <OgreMatrix4.h>

#include <memory>
#include <vector>

namespace Kiln {

class IBooleanBuilder {
public:
    virtual ~IBooleanBuilder() = default;
    /// Empties the stack (results not yet popped are deleted).
    virtual void clear() = 0;
    virtual unsigned size() const = 0;
    /// Pushes an operand: its mesh (not owned) and world matrix.
    virtual IBooleanBuilder& push(DynamicMesh* shape, const Ogre::Matrix4& transform) = 0;
    /// Removes the top entry and returns its shape, null when the stack is
    /// empty or the entry holds no shape. A result popped here is owned by
    /// the caller.
    virtual DynamicMesh* pop() = 0;
    /// Pop B then A, push A ∪ B, A ∩ B or A − B, expressed in A's local
    /// frame with A's transform (a null shape when nothing remains). With
    /// fewer than two entries the stack is left unchanged.
    virtual IBooleanBuilder& unite() = 0;
    virtual IBooleanBuilder& intersect() = 0;
    virtual IBooleanBuilder& subtract() = 0;
};

class FastBooleanBuilder : public IBooleanBuilder {
public:
    FastBooleanBuilder() = default;
    ~FastBooleanBuilder() override = default;

    void clear() override;
    unsigned size() const override { return static_cast<unsigned>(entries.size()); }
    IBooleanBuilder& push(DynamicMesh* shape, const Ogre::Matrix4& transform) override;
    DynamicMesh* pop() override;
    IBooleanBuilder& unite() override { return apply(BooleanOperation::Union); }
    IBooleanBuilder& intersect() override { return apply(BooleanOperation::Intersection); }
    IBooleanBuilder& subtract() override { return apply(BooleanOperation::Difference); }

    /// Figures of the last operation.
    const BooleanReport& lastReport() const { return report; }

private:
    struct Entry {
        DynamicMesh* shape;
        Ogre::Matrix4 transform;
        std::unique_ptr<DynamicMesh> owned; ///< set for results not yet popped
    };

    IBooleanBuilder& apply(BooleanOperation operation);

    std::vector<Entry> entries;
    BooleanReport report;
};

/// The mesh's positions and colours as flat arrays, each position mapped
/// through `transform` (a full projective transform) unless it is null.
MeshArrays toMeshArrays(const DynamicMesh& mesh, const Ogre::Matrix4* transform = nullptr);

/// A new mesh over the arrays (positions rounded to floats, white where no
/// colours are given), cleaned up; null when there are no triangles.
std::unique_ptr<DynamicMesh> toDynamicMesh(const MeshArrays& arrays);

} // namespace Kiln
