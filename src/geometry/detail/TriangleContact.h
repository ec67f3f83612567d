#pragma once
// Exact contact tests between closed triangles given by the positions of
// their corners: the self-crossing check and the Boolean's broad phase both
// ask whether two triangles share a point. Every answer is exact; doubles
// with error bounds settle nearly all of them. Internal to the geometry
// library.
#include <cmath>
#include <cstdint>

namespace Kiln {
namespace TriangleContact {

using Point = const double*;

/// Sign of ((q - p) x (r - p)) . (x - p): the side of the plane through p,
/// q and r that x lies on, as sideOfPoint gives it.
int orient(Point p, Point q, Point r, Point x);

/// A triangle of the mesh by its corner positions, with its canonical
/// (position-welded) corner ids and its normal (q - p) x (r - p) in doubles
/// with the magnitudes that bound its rounding: a triangle tested against
/// many others makes these once.
struct Corners {
    Point p[3];
    std::uint32_t id[3];
    double normal[3];
    double magnitude[3];

    void computeNormal() {
        double u[3], v[3];
        for (int k = 0; k < 3; ++k) {
            u[k] = p[1][k] - p[0][k];
            v[k] = p[2][k] - p[0][k];
        }
        for (int k = 0; k < 3; ++k) {
            const int i = (k + 1) % 3, j = (k + 2) % 3;
            normal[k] = u[i] * v[j] - u[j] * v[i];
            magnitude[k] = std::fabs(u[i] * v[j]) + std::fabs(u[j] * v[i]);
        }
    }
};

/// Whether the triangle's corners are collinear (its exact normal is zero).
bool isDegenerate(const Corners& c);

/// Whether the points a, b and c all lie strictly on one side of the plane
/// of t (not degenerate): then no triangle made of them meets t. Needs
/// only t's normal, so one triangle tested against many pays for it once.
bool strictlyOnOneSide(const Corners& t, Point a, Point b, Point c);

/// Whether two triangles, neither degenerate, share any point. Their ids
/// are not looked at, so this holds for triangles of two meshes as well;
/// within one mesh it is the test for triangles with no common corner,
/// where any shared point is a fault.
bool disjointTrianglesMeet(const Corners& s, const Corners& t);

/// Whether two triangles, neither degenerate and each with three distinct
/// corner ids, meet other than at the corners they share (corners with
/// equal ids are one point). The same face twice (three shared corners)
/// touches without crossing: false.
bool meetBeyondSharedCorners(const Corners& s, const Corners& t);

constexpr std::uint32_t kNoCorner = 0xffffffffu;

/// The lowest corner id that two triangles both have, kNoCorner if none.
std::uint32_t lowestSharedCorner(const Corners& s, const Corners& t);

} // namespace TriangleContact
} // namespace Kiln
