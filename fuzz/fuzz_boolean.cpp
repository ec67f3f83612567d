// Two operands decoded from the input, through all three Boolean
// operations. Convex operands (boxes and octahedra at scales from 1e-9 to
// 1e9, sizes within about 1e9 of each other, some turned by the 3-4-5
// angle) must give closed results whose volumes agree: vol(A u B) +
// vol(A n B) = vol(A) + vol(B) and vol(A - B) = vol(A) - vol(A n B). Raw
// operands (any bits, any indices) must only never crash, here, in the
// float result and its clean-up, or in the operand checks (self-crossing
// surfaces), which must also never find a convex operand crossing itself.
#include "geometry/Boolean.h"
#include "geometry/BooleanOperands.h"
#include "geometry/FastBooleanBuilder.h"
#include "log/Exception.h"
#include "mesh/MeshMeasures.h"

#include "FuzzInput.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

using Kiln::BooleanOperation;
using Kiln::MeshArrays;

// A box or an octahedron whose six tips lie each on its own axis (always
// convex), at a decoded point and scale 2^exponent, perhaps turned about z.
MeshArrays convexOperand(FuzzInput& in, int exponent) {
    const bool octahedron = in.byte() & 1;
    double centre[3], extent[6];
    for (double& c : centre)
        c = in.scaled(exponent);
    for (double& e : extent)
        e = std::ldexp(1.0 + (in.u16() & 0x3ff), exponent);
    MeshArrays m;
    if (octahedron) {
        for (int axis = 0; axis < 3; ++axis)
            for (int sign = 0; sign < 2; ++sign) {
                double p[3] = {centre[0], centre[1], centre[2]};
                p[axis] += sign ? -extent[2 * axis + 1] : extent[2 * axis];
                m.positions.insert(m.positions.end(), p, p + 3);
            }
        // Tips: 0 +x, 1 -x, 2 +y, 3 -y, 4 +z, 5 -z; faces outward.
        m.indices = {0, 2, 4, 2, 1, 4, 1, 3, 4, 3, 0, 4, 2, 0, 5, 1, 2, 5, 3, 1, 5, 0, 3, 5};
    } else {
        for (int i = 0; i < 8; ++i)
            for (int axis = 0; axis < 3; ++axis)
                m.positions.push_back(i & (1 << axis) ? centre[axis] + extent[2 * axis]
                                                      : centre[axis] - extent[2 * axis + 1]);
        m.indices = {0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4,
                     2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5};
    }
    if (in.byte() & 1) {
        // Rotation by the 3-4-5 triangle's angle: exact in doubles only up
        // to rounding, which is what real, rotated models give too.
        for (std::size_t v = 0; v < m.vertexCount(); ++v) {
            double* p = &m.positions[3 * v];
            const double x = p[0] - centre[0], y = p[1] - centre[1];
            p[0] = centre[0] + 0.6 * x - 0.8 * y;
            p[1] = centre[1] + 0.8 * x + 0.6 * y;
        }
    }
    return m;
}

MeshArrays rawOperand(FuzzInput& in) {
    MeshArrays m;
    const int vertices = 1 + in.byte() % 12, triangles = in.byte() % 16;
    for (int k = 0; k < 3 * vertices; ++k)
        m.positions.push_back(in.byte() & 0x80 ? in.raw() : static_cast<double>(static_cast<std::int8_t>(in.byte())));
    for (int k = 0; k < 3 * triangles; ++k)
        m.indices.push_back(in.byte() % (vertices + 1));  // now and then one past the end
    return m;
}

// Signed volume as cones from `apex`, the same for any apex when the mesh
// is closed. Cones from the origin would sum terms of the size of the
// operands' distance from it cubed, whose rounding swamps the volume of a
// small operand far out; from a point of the operands the terms are the
// size of the operands.
double volumeFrom(const MeshArrays& m, const double* apex) {
    double sum = 0.0;
    for (std::size_t t = 0; t < m.triangleCount(); ++t) {
        double corner[3][3];
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k)
                corner[c][k] = m.positions[3 * m.indices[3 * t + c] + k] - apex[k];
        const double* p = corner[0];
        const double* q = corner[1];
        const double* r = corner[2];
        sum += p[0] * (q[1] * r[2] - q[2] * r[1]) - p[1] * (q[0] * r[2] - q[2] * r[0]) +
               p[2] * (q[0] * r[1] - q[1] * r[0]);
    }
    return sum / 6.0;
}

void fail(const char* what, double a, double b) {
    std::fprintf(stderr, "%s: %.17g vs %.17g\n", what, a, b);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    if (in.byte() & 1) {
        const MeshArrays a = rawOperand(in), b = rawOperand(in);
        for (const auto operation : {BooleanOperation::Union, BooleanOperation::Intersection, BooleanOperation::Difference})
            try {
                Kiln::toDynamicMesh(Kiln::computeBoolean(a, b, operation));
            } catch (const Kiln::Exception&) {
            }
        try {
            Kiln::BooleanOperand first, second;
            first.add(a);
            first.add(b);
            second.add(b);
            Kiln::checkedBoolean(first, second, BooleanOperation::Difference);
        } catch (const Kiln::BooleanRefused&) {
        } catch (const Kiln::Exception&) {
        }
        return 0;
    }
    // Sizes and distances within about 1e9 of each other: the range the
    // kernel promises exact, closed results for. (Beyond it, seams of a
    // tiny operand on a huge one's edges can stay open; callers check.)
    const int exponentA = static_cast<int>(in.byte() % 61) - 30;
    const int exponentB = std::clamp(exponentA + static_cast<int>(in.byte() % 17) - 8, -30, 30);
    const MeshArrays a = convexOperand(in, exponentA), b = convexOperand(in, exponentB);
    if (Kiln::intersectsItself(a) || Kiln::intersectsItself(b))
        fail("a convex operand found crossing itself", 0, 0);
    const MeshArrays u = Kiln::computeBoolean(a, b, BooleanOperation::Union);
    const MeshArrays i = Kiln::computeBoolean(a, b, BooleanOperation::Intersection);
    const MeshArrays d = Kiln::computeBoolean(a, b, BooleanOperation::Difference);
    for (const MeshArrays* result : {&u, &i, &d}) {
        if (!Kiln::isClosed(*result))
            fail("open result", static_cast<double>(result - &u), 0);
        Kiln::toDynamicMesh(*result);  // float rounding and clean-up: no crash
    }
    const double* apex = &a.positions[0];
    const double va = volumeFrom(a, apex), vb = volumeFrom(b, apex);
    const double vu = volumeFrom(u, apex), vi = volumeFrom(i, apex), vd = volumeFrom(d, apex);
    // Cut points are rounded to doubles; volumes agree to that rounding.
    const double tolerance = 1e-9 * (std::fabs(va) + std::fabs(vb));
    if (std::fabs(vu + vi - va - vb) > tolerance)
        fail("union + intersection", vu + vi, va + vb);
    if (std::fabs(vd + vi - va) > tolerance)
        fail("difference + intersection", vd + vi, va);
    return 0;
}
