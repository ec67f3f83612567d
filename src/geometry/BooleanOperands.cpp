#include "geometry/BooleanOperands.h"

#include "geometry/FastBooleanBuilder.h"
#include "log/Exception.h"
#include "mesh/MeshMeasures.h"

#include <algorithm>
#include <cmath>

namespace Kiln {

namespace {

const char* const kIntersectsItself = "the operand intersects itself";
const char* const kNotClosed = "the operand is not closed";
const char* const kSeamLeftOpen =
    "the result cannot be closed exactly (this happens where the operands' sizes or distances differ by far more "
    "than 1e9)";

void append(MeshArrays& operand, const MeshArrays& part) {
    const auto offset = static_cast<std::uint32_t>(operand.vertexCount());
    const bool colours = !operand.colours.empty() || !part.colours.empty();
    if (colours) {
        // An operand without colours counts as white.
        operand.colours.resize(4 * operand.vertexCount(), 1.0f);
        if (part.colours.empty())
            operand.colours.resize(operand.colours.size() + 4 * part.vertexCount(), 1.0f);
        else
            operand.colours.insert(operand.colours.end(), part.colours.begin(), part.colours.end());
    }
    operand.positions.insert(operand.positions.end(), part.positions.begin(), part.positions.end());
    for (const std::uint32_t index : part.indices)
        operand.indices.push_back(index + offset);
}

} // namespace

void BooleanOperand::add(MeshArrays piece) {
    // The exact tests below have no answer for non-finite coordinates.
    for (std::size_t i = 0; i < piece.positions.size(); ++i)
        if (!std::isfinite(piece.positions[i]))
            throw Exception(ErrorCode::InvalidValue,
                            "vertex " + std::to_string(i / 3 + 1) + " has a coordinate that is not a finite number.",
                            "Kiln::BooleanOperand::add()");
    double partLo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, partHi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (std::size_t i = 0; i < piece.positions.size(); ++i) {
        partLo[i % 3] = std::min(partLo[i % 3], piece.positions[i]);
        partHi[i % 3] = std::max(partHi[i % 3], piece.positions[i]);
    }
    bool overlapping = true;
    for (int k = 0; k < 3; ++k)
        overlapping &= partLo[k] <= hi[k] && lo[k] <= partHi[k];
    const bool partClosed = Kiln::isClosed(piece);
    // Checked before anything is united: the union of a crossed piece is
    // already wrong.
    const bool partCrossed = partClosed && Kiln::intersectsItself(piece, KnownClosed::Yes);
    crossesItself |= partCrossed;
    if (closed && partClosed && !crossesItself && overlapping)
        mesh = computeBoolean(mesh, piece, BooleanOperation::Union);
    else if (mesh.positions.empty() && mesh.indices.empty())
        mesh = std::move(piece);
    else
        append(mesh, piece);
    closed &= partClosed;
    for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], partLo[k]);
        hi[k] = std::max(hi[k], partHi[k]);
    }
}

BooleanRefused::BooleanRefused(int operand, const std::string& reason)
    : std::runtime_error("Not combined: " + reason + "."),
      which(operand), text(reason) {}

std::unique_ptr<DynamicMesh> checkedBoolean(const BooleanOperand& a, const BooleanOperand& b, BooleanOperation operation,
                                            OpenOperands open, const std::atomic<bool>* cancel) {
    const BooleanOperand* operands[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        if (operands[i]->intersectsItself())
            throw BooleanRefused(i, kIntersectsItself);
        if (open == OpenOperands::Refuse && !operands[i]->isClosed())
            throw BooleanRefused(i, kNotClosed);
    }
    // Checked on the mesh the caller gets: rounding to floats and the
    // clean-up must not open it either.
    std::unique_ptr<DynamicMesh> result = toDynamicMesh(computeBoolean(a.arrays(), b.arrays(), operation, nullptr, cancel));
    if (a.isClosed() && b.isClosed() && result && !isClosed(*result))
        throw BooleanRefused(-1, kSeamLeftOpen);
    return result;
}

} // namespace Kiln
