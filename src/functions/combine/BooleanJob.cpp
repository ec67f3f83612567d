#include "functions/combine/BooleanJob.h"

#include "geometry/Boolean.h"
#include "geometry/BooleanOperands.h"
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
        // Checked as the command line checks them: an open or self-crossing
        // operand, or a seam that cannot close, is refused, not built.
        Kiln::BooleanOperand operandA, operandB;
        operandA.add(Kiln::toMeshArrays(*a));
        operandB.add(Kiln::toMeshArrays(*b, sameFrame ? nullptr : &relative));
        const auto refuseOpen = Kiln::OpenOperands::Refuse;
        if (withCutPiece)
            cutPiece = Kiln::checkedBoolean(operandA, operandB, Kiln::BooleanOperation::Intersection, refuseOpen);
        if (!withCutPiece || cutPiece)
            result = Kiln::checkedBoolean(operandA, operandB, operationOf(kind), refuseOpen);
    } catch (const std::exception& failure) {
        result.reset();
        cutPiece.reset();
        error = failure.what();
    }
    done.store(true, std::memory_order_release);
}
