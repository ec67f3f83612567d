#include "functions/combine/BooleanJob.h"

#include "geometry/Boolean.h"
#include "geometry/FastBooleanBuilder.h"

#include <exception>

namespace {
Kiln::BooleanOperation operationOf(BooleanJobKind kind) {
    switch (kind) {
    case BooleanJobKind::Union: return Kiln::BooleanOperation::Union;
    case BooleanJobKind::Intersection: return Kiln::BooleanOperation::Intersection;
    case BooleanJobKind::Difference: break;
    }
    return Kiln::BooleanOperation::Difference;
}
} // namespace

BooleanJob::BooleanJob(const Kiln::DynamicMesh& a, const Ogre::Matrix4& frameA, const Kiln::DynamicMesh& b,
                       const Ogre::Matrix4& frameB, BooleanJobKind kind, bool withCutPiece)
    : a(a.clone()), b(b.clone()), frameA(frameA), frameB(frameB), kind(kind), withCutPiece(withCutPiece) {}

std::size_t BooleanJob::size() const { return a->getFaceCount() + b->getFaceCount(); }

void BooleanJob::run() {
    // The same framing as the stack builder: b is carried into a's frame and
    // the result stays there. The builder itself is not used on this thread
    // because it reports through the (main-thread) debug log.
    try {
        const Ogre::Matrix4 relative = frameA.inverse() * frameB;
        const bool sameFrame = relative == Ogre::Matrix4::IDENTITY;
        const Kiln::MeshArrays arraysA = Kiln::toMeshArrays(*a);
        const Kiln::MeshArrays arraysB = Kiln::toMeshArrays(*b, sameFrame ? nullptr : &relative);
        if (withCutPiece)
            cutPiece = Kiln::toDynamicMesh(
                Kiln::computeBoolean(arraysA, arraysB, Kiln::BooleanOperation::Intersection));
        if (!withCutPiece || cutPiece)
            result = Kiln::toDynamicMesh(Kiln::computeBoolean(arraysA, arraysB, operationOf(kind)));
    } catch (const std::exception& failure) {
        result.reset();
        cutPiece.reset();
        error = failure.what();
    }
    done.store(true, std::memory_order_release);
}
