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
    : a(a.clone()), b(b.clone()), frameA(frameA), frameB(frameB), kind(kind), withCutPiece(withCutPiece),
      triangles(a.getFaceCount() + b.getFaceCount()) {}

void BooleanJob::run() {
    // The same framing as the stack builder: b is carried into a's frame and
    // the result stays there. The builder itself is not used on this thread
    // because it reports through the (main-thread) debug log.
    const auto stopIfCancelled = [this] {
        if (wasCancelled())
            throw Kiln::BooleanCancelled();
    };
    try {
        stopIfCancelled();
        const Ogre::Matrix4 relative = frameA.inverse() * frameB;
        const bool sameFrame = relative == Ogre::Matrix4::IDENTITY;
        // Checked as the command line checks them: an open or self-crossing
        // operand, or a seam that cannot close, is refused, not built.
        Kiln::BooleanOperand operandA, operandB;
        operandA.add(Kiln::toMeshArrays(*a));
        stopIfCancelled();
        operandB.add(Kiln::toMeshArrays(*b, sameFrame ? nullptr : &relative));
        stopIfCancelled();
        const auto compute = [&](Kiln::BooleanOperation operation) {
            auto mesh = Kiln::checkedBoolean(operandA, operandB, operation, Kiln::OpenOperands::Refuse,
                                             &cancelRequested);
            stopIfCancelled();
            return mesh;
        };
        if (withCutPiece)
            cutPiece = compute(Kiln::BooleanOperation::Intersection);
        if (!withCutPiece || cutPiece)
            result = compute(operationOf(kind));
        stopIfCancelled();
    } catch (const Kiln::BooleanCancelled&) {
        result.reset();
        cutPiece.reset();
    } catch (const std::exception& failure) {
        result.reset();
        cutPiece.reset();
        error = failure.what();
    }
    // The operands' copies are not needed any more; free them on this thread.
    a.reset();
    b.reset();
    done.store(true, std::memory_order_release);
}
