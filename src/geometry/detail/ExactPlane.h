#pragma once
// Planes defined exactly by double-precision points, with exact side tests
// for points and for intersection points of three planes. Each test first
// evaluates in doubles with an error bound and falls back to expansions
// only when the bound cannot decide the sign, so the answer is always the
// exact sign.
//
// Contract for everything here: coordinates are model units, finite
// doubles. The answers are exact while no product of coordinates the tests
// form over- or underflows; model coordinates between 1e-6 and 1e6 units in
// size (or zero) are far inside that. A NaN or infinite input gives an
// unspecified answer. Planes are plain values and every function is pure,
// so any thread may call any of them on planes no thread is writing. Signs
// are -1, 0 or +1 (+1 on the side the normal points to: the outside of a
// triangle wound counter-clockwise); the "estimate" functions may also
// answer 2 for "undecided".
#include <cmath>
#include <cstdint>

namespace Kiln {

/// The plane a x + b y + c z + d = 0 with its defining data. The stored
/// coefficients are rounded approximations; `magnitude` bounds the size of
/// the terms each coefficient was computed from (used for error bounds).
struct ExactPlane {
    enum class Kind : std::uint8_t {
        ThroughPoints, ///< through p, q, r; normal (q - p) x (r - p)
        Axis,          ///< x[axis] = offset; normal the unit axis
        EdgeAlongAxis, ///< contains p, q and the direction of the axis; normal (q - p) x axis
    };
    double coefficient[4];
    double magnitude[4];
    double p[3];
    double q[3];
    double r[3];
    Kind kind;
    std::uint8_t axis;
};

/// The plane through three points, normal (q - p) x (r - p): the points
/// are copied, so they need not outlive the plane.
ExactPlane planeThroughPoints(const double p[3], const double q[3], const double r[3]);
/// The plane x[axis] = offset (axis 0, 1 or 2), normal the unit axis.
ExactPlane planeAtAxis(int axis, double offset);
/// The plane through p and q that contains the direction of `axis` (0, 1
/// or 2); p and q must differ off that axis or the plane is degenerate.
ExactPlane planeThroughEdge(const double p[3], const double q[3], int axis);

/// The axis (0, 1 or 2) the rounded normal leans on most: dropping it
/// projects the plane's points to 2D with the least distortion. Ties go to
/// the lower axis.
inline int dominantAxis(const ExactPlane& plane) {
    const double* n = plane.coefficient;
    int axis = 0;
    for (int k = 1; k < 3; ++k)
        if (std::fabs(n[k]) > std::fabs(n[axis]))
            axis = k;
    return axis;
}

/// True when the plane's normal is exactly zero (its points are collinear).
bool isDegenerate(const ExactPlane& plane);

/// Exact sign of a x + b y + c z + d at the point.
int sideOfPoint(const ExactPlane& plane, const double point[3]);

/// The sign sideOfPoint gives when doubles with an error bound settle it,
/// 2 when only exact arithmetic can.
int sideOfPointEstimate(const ExactPlane& plane, const double point[3]);

/// Exact sign of `plane` at the point where the segment line.p-line.q of an
/// edge plane meets `cut` (which the segment crosses strictly). Cheaper and
/// better conditioned than the general three-plane test.
int sideOfCutPoint(const ExactPlane& line, const ExactPlane& cut, const ExactPlane& plane);

/// As sideOfCutPoint for any point of the line through line.p and line.q
/// where it meets `cut` (the line not parallel to `cut`), inside the segment
/// or not.
int sideOfLinePoint(const ExactPlane& line, const ExactPlane& cut, const ExactPlane& plane);

/// When two planes made through points share two of them, stores those two
/// in p and q and returns true: the planes meet along the line through them.
bool sharedEdge(const ExactPlane& a, const ExactPlane& b, double p[3], double q[3]);

/// Two triangle planes that share an edge (`on` and `other`, both made
/// through points) are two half-planes hinged on that edge's line. On `on`,
/// `other` is then a fixed multiple of `hinge`, a plane through the edge
/// that crosses `on` steeply: for every point X of `on`,
///   sign other(X) = factor * sign hinge(X).
/// When `other` is nearly parallel to `on` (the two halves of a flat quad),
/// its side of a point of `on` needs deep exact arithmetic, whereas the
/// hinge's side is well conditioned and `factor` is one point test per pair.
/// Returns false when the planes share no edge; factor 0 means `other`
/// holds all of `on`.
bool hingeOnSharedEdge(const ExactPlane& on, const ExactPlane& other, ExactPlane& hinge, int& factor);

/// The hinge plane alone, without the exact tests (for a factor already
/// known); false when the planes share no edge.
bool hingePlaneOnSharedEdge(const ExactPlane& on, const ExactPlane& other, ExactPlane& hinge);

/// Exact sign of the determinant of the three planes' normals; zero when
/// they do not meet in a single point.
int normalsDeterminantSign(const ExactPlane& s, const ExactPlane& p, const ExactPlane& q);

/// Exact sign of `plane` at the point where s, p and q meet. The caller
/// passes normalsDeterminantSign(s, p, q), which must not be zero.
int sideOfIntersection(const ExactPlane& s, const ExactPlane& p, const ExactPlane& q, int normalsSign,
                       const ExactPlane& plane);

/// Coordinates of the point where s, p and q meet, each rounded to the
/// largest double not above the exact value, so the same point always
/// rounds to the same doubles however its planes were chosen.
void intersectionPoint(const ExactPlane& s, const ExactPlane& p, const ExactPlane& q, double out[3]);

/// The intersection point of three planes in doubles, with a bound on the
/// error of each coordinate; usable only when `valid`.
struct ApproximatePoint {
    double x[3];
    double error[3];
    bool valid;
};

ApproximatePoint approximateIntersection(const ExactPlane& s, const ExactPlane& p, const ExactPlane& q);

/// Sign of the plane at the exact point that `point` approximates, when the
/// error bounds decide it; 2 when they cannot.
int sideOfApproximatePoint(const ExactPlane& plane, const ApproximatePoint& point);

/// The point where the segment line.p-line.q meets `cut`, rounded like
/// intersectionPoint (the same point gives the same doubles either way).
void cutPoint(const ExactPlane& line, const ExactPlane& cut, double out[3]);

/// Sign of the dot product of two planes' normals (approximate; meant for
/// planes already known to be parallel).
int normalsAgree(const ExactPlane& a, const ExactPlane& b);

} // namespace Kiln
