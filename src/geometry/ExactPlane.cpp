#include "detail/ExactPlane.h"

#include "detail/Expansion.h"

#include <cmath>

namespace Kiln {
namespace {

// Relative error bound of the double-precision evaluations below, measured
// against the permanent of the coefficient magnitudes. The evaluations round
// a few dozen times at most; this keeps a wide margin.
constexpr double kFilterBound = 1e-13;

// Exact differences a - b, false when one of them does not fit a double.
bool exactDifferences(const double a[3], const double b[3], double out[3]) {
    for (int k = 0; k < 3; ++k) {
        double tail;
        twoSum(a[k], -b[k], out[k], tail);
        if (tail != 0.0)
            return false;
    }
    return true;
}

// The exact normal (a, b, c), without the costlier offset d.
void exactNormal(const ExactPlane& plane, Expansion out[3]) {
    switch (plane.kind) {
    case ExactPlane::Kind::Axis:
        for (int k = 0; k < 3; ++k)
            out[k] = Expansion(k == plane.axis ? 1.0 : 0.0);
        return;
    case ExactPlane::Kind::EdgeAlongAxis: {
        const int a = plane.axis, b = (a + 1) % 3, c = (a + 2) % 3;
        out[a] = Expansion();
        out[b] = Expansion::difference(plane.q[c], plane.p[c]);
        out[c] = -Expansion::difference(plane.q[b], plane.p[b]);
        return;
    }
    case ExactPlane::Kind::ThroughPoints: {
        // Between nearby mesh points the edge vectors are exact doubles, and
        // each component is one 2x2 determinant of them.
        double du[3], dv[3];
        if (exactDifferences(plane.q, plane.p, du) && exactDifferences(plane.r, plane.p, dv)) {
            out[0] = Expansion::determinant2(du[1], du[2], dv[1], dv[2]);
            out[1] = Expansion::determinant2(du[2], du[0], dv[2], dv[0]);
            out[2] = Expansion::determinant2(du[0], du[1], dv[0], dv[1]);
            return;
        }
        Expansion u[3], v[3];
        for (int k = 0; k < 3; ++k) {
            u[k] = Expansion::difference(plane.q[k], plane.p[k]);
            v[k] = Expansion::difference(plane.r[k], plane.p[k]);
        }
        out[0] = u[1] * v[2] - u[2] * v[1];
        out[1] = u[2] * v[0] - u[0] * v[2];
        out[2] = u[0] * v[1] - u[1] * v[0];
        return;
    }
    }
}

template <typename T>
T det3(const T& a0, const T& a1, const T& a2, const T& b0, const T& b1, const T& b2, const T& c0, const T& c1,
       const T& c2) {
    return a0 * (b1 * c2 - b2 * c1) - a1 * (b0 * c2 - b2 * c0) + a2 * (b0 * c1 - b1 * c0);
}

double permanent3(double a0, double a1, double a2, double b0, double b1, double b2, double c0, double c1,
                  double c2) {
    return a0 * (b1 * c2 + b2 * c1) + a1 * (b0 * c2 + b2 * c0) + a2 * (b0 * c1 + b1 * c0);
}

int signOf(double value) {
    return (value > 0.0) - (value < 0.0);
}

// The 3x3 minors of the rows s, p, q with column `skip` left out, in the
// order of the remaining columns.
template <typename Row>
auto minor3(const Row& s, const Row& p, const Row& q, int skip) {
    int c[3];
    for (int k = 0, n = 0; k < 4; ++k)
        if (k != skip)
            c[n++] = k;
    return det3(s[c[0]], s[c[1]], s[c[2]], p[c[0]], p[c[1]], p[c[2]], q[c[0]], q[c[1]], q[c[2]]);
}

double minorPermanent(const double* s, const double* p, const double* q, int skip) {
    int c[3];
    for (int k = 0, n = 0; k < 4; ++k)
        if (k != skip)
            c[n++] = k;
    return permanent3(s[c[0]], s[c[1]], s[c[2]], p[c[0]], p[c[1]], p[c[2]], q[c[0]], q[c[1]], q[c[2]]);
}

struct ExpansionRow {
    Expansion e[4];
    const Expansion& operator[](int k) const { return e[k]; }
};

/// The normal only: entry 3 stays zero.
ExpansionRow exactNormalRow(const ExactPlane& plane) {
    ExpansionRow row;
    exactNormal(plane, row.e);
    return row;
}

} // namespace

ExactPlane planeThroughPoints(const double p[3], const double q[3], const double r[3]) {
    ExactPlane plane{};
    plane.kind = ExactPlane::Kind::ThroughPoints;
    double u[3], v[3], mu[3], mv[3];
    for (int k = 0; k < 3; ++k) {
        plane.p[k] = p[k];
        plane.q[k] = q[k];
        plane.r[k] = r[k];
        u[k] = q[k] - p[k];
        v[k] = r[k] - p[k];
        // One rounding each: the error is within an ulp of the result.
        mu[k] = std::fabs(u[k]);
        mv[k] = std::fabs(v[k]);
    }
    double* n = plane.coefficient;
    double* m = plane.magnitude;
    n[0] = u[1] * v[2] - u[2] * v[1];
    n[1] = u[2] * v[0] - u[0] * v[2];
    n[2] = u[0] * v[1] - u[1] * v[0];
    m[0] = mu[1] * mv[2] + mu[2] * mv[1];
    m[1] = mu[2] * mv[0] + mu[0] * mv[2];
    m[2] = mu[0] * mv[1] + mu[1] * mv[0];
    n[3] = -(n[0] * p[0] + n[1] * p[1] + n[2] * p[2]);
    m[3] = m[0] * std::fabs(p[0]) + m[1] * std::fabs(p[1]) + m[2] * std::fabs(p[2]);
    return plane;
}

ExactPlane planeAtAxis(int axis, double offset) {
    ExactPlane plane{};
    plane.kind = ExactPlane::Kind::Axis;
    plane.axis = static_cast<std::uint8_t>(axis);
    plane.p[axis] = offset;
    plane.coefficient[axis] = 1.0;
    plane.magnitude[axis] = 1.0;
    plane.coefficient[3] = -offset;
    plane.magnitude[3] = std::fabs(offset);
    return plane;
}

ExactPlane planeThroughEdge(const double p[3], const double q[3], int axis) {
    ExactPlane plane{};
    plane.kind = ExactPlane::Kind::EdgeAlongAxis;
    plane.axis = static_cast<std::uint8_t>(axis);
    double u[3], mu[3];
    for (int k = 0; k < 3; ++k) {
        plane.p[k] = p[k];
        plane.q[k] = q[k];
        u[k] = q[k] - p[k];
        mu[k] = std::fabs(u[k]);
    }
    const int a = axis, b = (a + 1) % 3, c = (a + 2) % 3;
    double* n = plane.coefficient;
    double* m = plane.magnitude;
    n[a] = 0.0;
    m[a] = 0.0;
    n[b] = u[c];
    m[b] = mu[c];
    n[c] = -u[b];
    m[c] = mu[b];
    n[3] = -(n[0] * p[0] + n[1] * p[1] + n[2] * p[2]);
    m[3] = m[0] * std::fabs(p[0]) + m[1] * std::fabs(p[1]) + m[2] * std::fabs(p[2]);
    return plane;
}

bool isDegenerate(const ExactPlane& plane) {
    if (plane.kind == ExactPlane::Kind::Axis)
        return false;
    for (int k = 0; k < 3; ++k)
        if (std::fabs(plane.coefficient[k]) > kFilterBound * plane.magnitude[k])
            return false;
    const ExpansionRow row = exactNormalRow(plane);
    return row[0].sign() == 0 && row[1].sign() == 0 && row[2].sign() == 0;
}

namespace {

bool samePoint(const double a[3], const double b[3]) {
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// True when the plane holds a or b by construction (it was made through
// that point): the common zero case, which no floating-point filter can
// decide.
bool definedThrough(const ExactPlane& plane, const double x[3]) {
    switch (plane.kind) {
    case ExactPlane::Kind::ThroughPoints:
        return samePoint(plane.p, x) || samePoint(plane.q, x) || samePoint(plane.r, x);
    case ExactPlane::Kind::EdgeAlongAxis:
        return samePoint(plane.p, x) || samePoint(plane.q, x);
    case ExactPlane::Kind::Axis:
        return false;
    }
    return false;
}

// True when the plane contains the line through a and b (a != b).
bool containsLine(const ExactPlane& plane, const double a[3], const double b[3]) {
    if (plane.kind == ExactPlane::Kind::Axis)
        return a[plane.axis] == plane.p[plane.axis] && b[plane.axis] == plane.p[plane.axis];
    return definedThrough(plane, a) && definedThrough(plane, b);
}

// a x + b y + c z + d at x, evaluated as n . (x - p) around the plane's
// own point so that the error scales with the distance, not with d.
double planeValue(const ExactPlane& plane, const double x[3], double& error) {
    const double* n = plane.coefficient;
    const double* m = plane.magnitude;
    double value = 0.0, bound = 0.0;
    for (int k = 0; k < 3; ++k) {
        const double d = x[k] - plane.p[k];
        value += n[k] * d;
        bound += m[k] * std::fabs(d);
    }
    error = kFilterBound * bound;
    return value;
}

// The value at x given the plane's exact normal (from exactNormal).
Expansion exactPlaneValue(const ExactPlane& plane, const Expansion normal[3], const double x[3]) {
    if (plane.kind == ExactPlane::Kind::Axis)
        return Expansion::difference(x[plane.axis], plane.p[plane.axis]);
    Expansion value;
    for (int k = 0; k < 3; ++k) {
        if (normal[k].sign() == 0)
            continue;
        double difference, tail;
        twoSum(x[k], -plane.p[k], difference, tail);
        if (difference == 0.0)
            continue;
        value = value + (tail == 0.0 ? normal[k] * difference : normal[k] * Expansion::difference(x[k], plane.p[k]));
    }
    return value;
}

Expansion exactPlaneValue(const ExactPlane& plane, const ExpansionRow& row, const double x[3]) {
    return exactPlaneValue(plane, row.e, x);
}

Expansion exactPlaneValue(const ExactPlane& plane, const double x[3]) {
    if (plane.kind == ExactPlane::Kind::Axis)
        return Expansion::difference(x[plane.axis], plane.p[plane.axis]);
    return exactPlaneValue(plane, exactNormalRow(plane), x);
}


// The point X where s, p and q meet, measured from s's own point:
// X = s.p + u with n_s . u = 0, n_p . u = -h_p, n_q . u = -h_q, where
// h_p = n_p . (s.p - p.p). By the adjugate,
//   u = -(h_p (n_q x n_s) + h_q (n_s x n_p)) / D,  D = n_p . (n_q x n_s).
// No plane offset enters, so the terms stay far shorter than those of the
// general 4x4 cofactor expansion.
struct MeetingPoint {
    MeetingPoint(const ExactPlane& s, const ExactPlane& p, const ExactPlane& q) : s(s) {
        Expansion ns[3], np[3], nq[3];
        exactNormal(s, ns);
        exactNormal(p, np);
        exactNormal(q, nq);
        cross(nq, ns, alongP);
        cross(ns, np, alongQ);
        determinant = np[0] * alongP[0] + np[1] * alongP[1] + np[2] * alongP[2];
        hp = exactPlaneValue(p, np, s.p);
        hq = exactPlaneValue(q, nq, s.p);
    }

    /// D (x_k - 0): the numerator of coordinate k over `determinant`.
    Expansion coordinateTimesDeterminant(int k) const {
        return determinant * s.p[k] - (hp * alongP[k] + hq * alongQ[k]);
    }

    /// D t(X) for the plane t.
    Expansion valueTimesDeterminant(const ExactPlane& t) const {
        Expansion nt[3];
        exactNormal(t, nt);
        const Expansion ht = exactPlaneValue(t, nt, s.p);
        const Expansion alongPt = nt[0] * alongP[0] + nt[1] * alongP[1] + nt[2] * alongP[2];
        const Expansion alongQt = nt[0] * alongQ[0] + nt[1] * alongQ[1] + nt[2] * alongQ[2];
        return ht * determinant - (hp * alongPt + hq * alongQt);
    }

    const ExactPlane& s;
    Expansion alongP[3], alongQ[3], hp, hq, determinant;

private:
    static void cross(const Expansion a[3], const Expansion b[3], Expansion out[3]) {
        out[0] = a[1] * b[2] - a[2] * b[1];
        out[1] = a[2] * b[0] - a[0] * b[2];
        out[2] = a[0] * b[1] - a[1] * b[0];
    }
};
} // namespace

int sideOfPointEstimate(const ExactPlane& plane, const double x[3]) {
    if (plane.kind == ExactPlane::Kind::Axis) {
        // A difference of two doubles rounds to a value of the exact sign.
        const double d = x[plane.axis] - plane.p[plane.axis];
        return (d > 0.0) - (d < 0.0);
    }
    // The filter first: it settles almost every point without reading the
    // plane's other two points. A point the plane was made through has
    // value zero exactly, which the filter never takes for a side.
    double error;
    const double value = planeValue(plane, x, error);
    if (value > error)
        return 1;
    if (value < -error)
        return -1;
    return definedThrough(plane, x) ? 0 : 2;
}

namespace {


// The exact side when the plane's edge vectors and the offset of x are
// doubles, as they are between nearby mesh points: one triple product (or
// 2x2 determinant) on the stack instead of expansions of the normal. 2 when
// a difference does not fit.
int sideOfPointFromDifferences(const ExactPlane& plane, const double x[3]) {
    double w[3], u[3], v[3];
    if (!exactDifferences(x, plane.p, w) || !exactDifferences(plane.q, plane.p, u))
        return 2;
    if (plane.kind == ExactPlane::Kind::EdgeAlongAxis) {
        // n = (q - p) x axis: value u_c w_b - u_b w_c.
        const int b = (plane.axis + 1) % 3, c = (plane.axis + 2) % 3;
        return signOfDeterminant2(u[c], u[b], w[c], w[b]);
    }
    if (!exactDifferences(plane.r, plane.p, v))
        return 2;
    return signOfTripleProduct(u, v, w);
}

/// T(p) K(q) - K(p) T(q) in doubles for the line's end points p and q (T the
/// plane, K the cut), with a bound on its rounding error, and the cut's
/// values at both ends with their own bounds.
struct LineCrossValue {
    double kp, kq, eKp, eKq;
    double value, bound;
};

LineCrossValue lineCrossValue(const ExactPlane& line, const ExactPlane& cut, const ExactPlane& plane) {
    LineCrossValue c;
    double eTp, eTq;
    const double tp = planeValue(plane, line.p, eTp), tq = planeValue(plane, line.q, eTq);
    c.kp = planeValue(cut, line.p, c.eKp);
    c.kq = planeValue(cut, line.q, c.eKq);
    c.value = tp * c.kq - c.kp * tq;
    c.bound = (std::fabs(tp) * c.eKq + eTp * std::fabs(c.kq) + eTp * c.eKq + std::fabs(c.kp) * eTq +
               c.eKp * std::fabs(tq) + c.eKp * eTq) * 1.0000001 +
              4.5e-16 * (std::fabs(tp * c.kq) + std::fabs(c.kp * tq));
    return c;
}

} // namespace

int sideOfPoint(const ExactPlane& plane, const double x[3]) {
    const int estimate = sideOfPointEstimate(plane, x);
    if (estimate != 2)
        return estimate;
    const int fromDifferences = sideOfPointFromDifferences(plane, x);
    return fromDifferences != 2 ? fromDifferences : exactPlaneValue(plane, x).sign();
}

int sideOfCutPoint(const ExactPlane& line, const ExactPlane& cut, const ExactPlane& plane) {
    const int sp = sideOfPoint(plane, line.p), sq = sideOfPoint(plane, line.q);
    if (sp == sq)
        return sp;
    if (sp == 0)
        return sq;
    if (sq == 0)
        return sp;
    // With T the plane and K the cut, the point is p + t (q - p) at
    // t = K(p) / (K(p) - K(q)), so T there has the sign of
    // (T(p) K(q) - K(p) T(q)) / (K(q) - K(p)); K(q) - K(p) has K(q)'s sign.
    const int kq = sideOfPoint(cut, line.q);
    const LineCrossValue cross = lineCrossValue(line, cut, plane);
    if (cross.value > cross.bound)
        return kq;
    if (cross.value < -cross.bound)
        return -kq;
    const ExpansionRow planeNormal = exactNormalRow(plane), cutNormal = exactNormalRow(cut);
    const Expansion exact = exactPlaneValue(plane, planeNormal, line.p) * exactPlaneValue(cut, cutNormal, line.q) -
                            exactPlaneValue(cut, cutNormal, line.p) * exactPlaneValue(plane, planeNormal, line.q);
    return exact.sign() * kq;
}

int sideOfLinePoint(const ExactPlane& line, const ExactPlane& cut, const ExactPlane& plane) {
    if (containsLine(plane, line.p, line.q))
        return 0;
    // t(X) (K(q) - K(p)) = T(p) K(q) - K(p) T(q) for X on the line with K(X) = 0.
    const LineCrossValue cross = lineCrossValue(line, cut, plane);
    const double difference = cross.kq - cross.kp;
    const double differenceBound =
        (cross.eKp + cross.eKq) * 1.0000001 + 2.3e-16 * (std::fabs(cross.kp) + std::fabs(cross.kq));
    if (std::fabs(cross.value) > cross.bound && std::fabs(difference) > differenceBound)
        return signOf(cross.value) * signOf(difference);
    const ExpansionRow planeNormal = exactNormalRow(plane), cutNormal = exactNormalRow(cut);
    const Expansion exactTp = exactPlaneValue(plane, planeNormal, line.p);
    const Expansion exactTq = exactPlaneValue(plane, planeNormal, line.q);
    const Expansion exactKp = exactPlaneValue(cut, cutNormal, line.p), exactKq = exactPlaneValue(cut, cutNormal, line.q);
    return (exactTp * exactKq - exactKp * exactTq).sign() * (exactKq - exactKp).sign();
}

bool sharedEdge(const ExactPlane& a, const ExactPlane& b, double p[3], double q[3]) {
    if (a.kind != ExactPlane::Kind::ThroughPoints || b.kind != ExactPlane::Kind::ThroughPoints)
        return false;
    const double* found[2];
    int count = 0;
    for (const double* x : {a.p, a.q, a.r})
        if (count < 2 && definedThrough(b, x) && (count == 0 || !samePoint(found[0], x)))
            found[count++] = x;
    if (count < 2)
        return false;
    for (int k = 0; k < 3; ++k) {
        p[k] = found[0][k];
        q[k] = found[1][k];
    }
    return true;
}

namespace {

// The hinge plane of hingeOnSharedEdge and the point of `on` off the edge.
const double* hingeAndApex(const ExactPlane& on, const ExactPlane& other, ExactPlane& hinge) {
    double a[3], b[3];
    if (!sharedEdge(on, other, a, b))
        return nullptr;
    const double* apex = nullptr;
    for (const double* x : {on.p, on.q, on.r})
        if (!samePoint(x, a) && !samePoint(x, b))
            apex = x;
    // Along the axis the normal of `on` leans on most, the hinge plane
    // stands across `on`.
    hinge = planeThroughEdge(a, b, dominantAxis(on));
    return apex;
}

} // namespace

bool hingePlaneOnSharedEdge(const ExactPlane& on, const ExactPlane& other, ExactPlane& hinge) {
    return hingeAndApex(on, other, hinge) != nullptr;
}

bool hingeOnSharedEdge(const ExactPlane& on, const ExactPlane& other, ExactPlane& hinge, int& factor) {
    const double* apex = hingeAndApex(on, other, hinge);
    if (!apex)
        return false;
    // Were the hinge to hold `on` after all (a normal that rounds off its
    // true direction), the apex would lie on it.
    const int hingeAtApex = sideOfPoint(hinge, apex);
    if (hingeAtApex == 0)
        return false;
    factor = sideOfPoint(other, apex) * hingeAtApex;
    return true;
}

int normalsDeterminantSign(const ExactPlane& s, const ExactPlane& p, const ExactPlane& q) {
    const double value = minor3(s.coefficient, p.coefficient, q.coefficient, 3);
    const double bound = kFilterBound * minorPermanent(s.magnitude, p.magnitude, q.magnitude, 3);
    if (value > bound)
        return 1;
    if (value < -bound)
        return -1;
    const ExpansionRow rs = exactNormalRow(s), rp = exactNormalRow(p), rq = exactNormalRow(q);
    return minor3(rs, rp, rq, 3).sign();
}

namespace {

// Plane t at the point on the axis planes x_a = a.p[a] and x_b = b.p[b]
// that lies in plane s (not an axis plane, with n_k != 0 for the third
// axis k): with x_k from s,
//   t(X) n_k = n_k (t_a (x_a - t.p_a) + t_b (x_b - t.p_b) + t_k (s.p_k - t.p_k))
//              - t_k (n_a (x_a - s.p_a) + n_b (x_b - s.p_b)),
// a polynomial of lower degree than the general determinant.
int sideOfPointOnTwoAxisPlanes(const ExactPlane& s, const ExactPlane& a, const ExactPlane& b, const ExactPlane& t) {
    const int ia = a.axis, ib = b.axis, k = 3 - ia - ib;
    const double xa = a.p[ia], xb = b.p[ib];
    const ExpansionRow n = exactNormalRow(s), m = exactNormalRow(t);
    const Expansion inT = m[ia] * Expansion::difference(xa, t.p[ia]) + m[ib] * Expansion::difference(xb, t.p[ib]) +
                          m[k] * Expansion::difference(s.p[k], t.p[k]);
    const Expansion inS = n[ia] * Expansion::difference(xa, s.p[ia]) + n[ib] * Expansion::difference(xb, s.p[ib]);
    return (n[k] * inT - m[k] * inS).sign() * n[k].sign();
}

// Plane t at the point where s and q meet on the axis plane x_a = c. In that
// plane each of s, q, t is a line n_b u + n_c v + h over u = x_b - s.p_b,
// v = x_c - s.p_c, and t at the point is det [s; q; t] / det [s; q]_(b, c).
int sideOfPointOnAxisPlane(const ExactPlane& s, const ExactPlane& axis, const ExactPlane& q, const ExactPlane& t) {
    const int ia = axis.axis, ib = (ia + 1) % 3, ic = (ia + 2) % 3;
    const double c = axis.p[ia];
    const ExpansionRow rs = exactNormalRow(s), rq = exactNormalRow(q), rt = exactNormalRow(t);
    auto offset = [&](const ExpansionRow& row, const ExactPlane& plane) {
        return row[ia] * Expansion::difference(c, plane.p[ia]) + row[ib] * Expansion::difference(s.p[ib], plane.p[ib]) +
               row[ic] * Expansion::difference(s.p[ic], plane.p[ic]);
    };
    const Expansion hs = rs[ia] * Expansion::difference(c, s.p[ia]);
    const Expansion hq = offset(rq, q), ht = offset(rt, t);
    const Expansion det = det3(rs[ib], rs[ic], hs, rq[ib], rq[ic], hq, rt[ib], rt[ic], ht);
    const Expansion denominator = rs[ib] * rq[ic] - rs[ic] * rq[ib];
    return det.sign() * denominator.sign();
}

} // namespace

int sideOfIntersection(const ExactPlane& s, const ExactPlane& p, const ExactPlane& q, int normalsSign,
                       const ExactPlane& plane) {
    if (&plane == &s || &plane == &p || &plane == &q)
        return 0;
    // The point lies on the line where s meets an edge plane (made through
    // two points); a plane through both of those points holds the line.
    for (const ExactPlane* line : {&p, &q})
        if (line->kind == ExactPlane::Kind::EdgeAlongAxis && containsLine(plane, line->p, line->q))
            return 0;
    // Expanding the 4x4 determinant [s; p; q; plane] along its last row.
    double value = 0.0, bound = 0.0;
    for (int j = 0; j < 4; ++j) {
        const double minor = minor3(s.coefficient, p.coefficient, q.coefficient, j);
        const double sign = (j % 2 == 1) ? 1.0 : -1.0; // (-1)^(3 + j)
        value += sign * plane.coefficient[j] * minor;
        bound += plane.magnitude[j] * minorPermanent(s.magnitude, p.magnitude, q.magnitude, j);
    }
    bound *= kFilterBound;
    if (value > bound)
        return normalsSign;
    if (value < -bound)
        return -normalsSign;
    if (s.kind != ExactPlane::Kind::Axis) {
        if (p.kind == ExactPlane::Kind::Axis && q.kind == ExactPlane::Kind::Axis && p.axis != q.axis)
            return sideOfPointOnTwoAxisPlanes(s, p, q, plane);
        if (p.kind == ExactPlane::Kind::Axis && q.kind != ExactPlane::Kind::Axis)
            return sideOfPointOnAxisPlane(s, p, q, plane);
        if (q.kind == ExactPlane::Kind::Axis && p.kind != ExactPlane::Kind::Axis)
            return sideOfPointOnAxisPlane(s, q, p, plane);
    }
    const MeetingPoint point(s, p, q);
    return point.valueTimesDeterminant(plane).sign() * normalsSign;
}

namespace {

// The largest double not above numerator / denominator (denominator != 0).
double roundQuotientDown(const Expansion& numerator, const Expansion& denominator) {
    if (numerator.sign() == 0)
        return 0.0;
    const int denominatorSign = denominator.sign();
    // The estimates of non-overlapping expansions are accurate to an ulp or
    // so, which leaves a few steps to the exact rounding. Products with
    // values near the underflow range are not exact; such tiny coordinates
    // keep the estimate.
    double x = numerator.estimate() / denominator.estimate();
    if (!(std::fabs(x) > 1e-280) || !std::isfinite(x))
        return x;
    // x <= value  <=>  sign(numerator - x * denominator) * sign(denominator) >= 0
    auto notAbove = [&](double candidate) {
        return (numerator - denominator * candidate).sign() * denominatorSign >= 0;
    };
    // One exact residual usually settles it: value - x = residual /
    // denominator, whose estimate is good to a few ulps of itself, so it
    // tells whether the next double up (or down) passes the value.
    {
        const Expansion residual = numerator - denominator * x;
        const int side = residual.sign() * denominatorSign;
        if (side == 0)
            return x;
        const double offset = residual.estimate() / denominator.estimate();
        constexpr double kMargin = 1.0 - 1e-9;
        if (side > 0) {
            const double step = std::nextafter(x, HUGE_VAL) - x;
            if (offset > 0.0 && offset < step * kMargin)
                return x;
        } else {
            const double below = std::nextafter(x, -HUGE_VAL);
            if (offset < 0.0 && -offset < (x - below) * kMargin)
                return below;
        }
    }
    while (!notAbove(x))
        x = std::nextafter(x, -HUGE_VAL);
    for (double up = std::nextafter(x, HUGE_VAL); notAbove(up); up = std::nextafter(x, HUGE_VAL))
        x = up;
    return x;
}

} // namespace

void intersectionPoint(const ExactPlane& s, const ExactPlane& p, const ExactPlane& q, double out[3]) {
    const bool axisP = p.kind == ExactPlane::Kind::Axis, axisQ = q.kind == ExactPlane::Kind::Axis;
    if (axisP && axisQ && s.kind != ExactPlane::Kind::Axis && p.axis != q.axis) {
        // Two coordinates are the axis planes' offsets; s gives the third:
        // x_c = s.p_c - (n_a (x_a - s.p_a) + n_b (x_b - s.p_b)) / n_c.
        const int a = p.axis, b = q.axis, k = 3 - a - b;
        out[a] = p.p[a];
        out[b] = q.p[b];
        const ExpansionRow rs = exactNormalRow(s);
        const Expansion offset = rs[a] * Expansion::difference(out[a], s.p[a]) +
                                 rs[b] * Expansion::difference(out[b], s.p[b]);
        out[k] = roundQuotientDown(Expansion(s.p[k]) * rs[k] - offset, rs[k]);
        if (out[k] == 0.0)
            out[k] = 0.0;
        return;
    }
    if ((axisP != axisQ) && s.kind != ExactPlane::Kind::Axis) {
        // In the axis plane x_a = c, s and the other plane are lines over
        // u = x_b - s.p_b, v = x_c - s.p_c; solve the 2x2 system there.
        const ExactPlane& axis = axisP ? p : q;
        const ExactPlane& other = axisP ? q : p;
        const int ia = axis.axis, ib = (ia + 1) % 3, ic = (ia + 2) % 3;
        const double cValue = axis.p[ia];
        const ExpansionRow rs = exactNormalRow(s), ro = exactNormalRow(other);
        const Expansion gs = rs[ia] * Expansion::difference(cValue, s.p[ia]);
        const Expansion ho = ro[ia] * Expansion::difference(cValue, other.p[ia]) +
                             ro[ib] * Expansion::difference(s.p[ib], other.p[ib]) +
                             ro[ic] * Expansion::difference(s.p[ic], other.p[ic]);
        const Expansion denominator = rs[ib] * ro[ic] - rs[ic] * ro[ib];
        const Expansion u = ho * rs[ic] - gs * ro[ic];
        const Expansion v = gs * ro[ib] - ho * rs[ib];
        out[ia] = cValue;
        out[ib] = roundQuotientDown(denominator * s.p[ib] + u, denominator);
        out[ic] = roundQuotientDown(denominator * s.p[ic] + v, denominator);
        for (int k = 0; k < 3; ++k)
            if (out[k] == 0.0)
                out[k] = 0.0;
        return;
    }
    const MeetingPoint point(s, p, q);
    for (int k = 0; k < 3; ++k) {
        // On an axis plane that coordinate is the plane's offset.
        if ((axisP && p.axis == k) || (axisQ && q.axis == k)) {
            out[k] = (axisP && p.axis == k) ? p.p[k] : q.p[k];
            continue;
        }
        out[k] = roundQuotientDown(point.coordinateTimesDeterminant(k), point.determinant);
    }
}

namespace {

// The cut plane's exact value at the two ends of a segment; the stack-buffer
// triple product when all differences fit doubles.
void valuesAtEnds(const ExactPlane& cut, const double p[3], const double q[3], Expansion& kp, Expansion& kq) {
    if (cut.kind == ExactPlane::Kind::ThroughPoints) {
        double u[3], v[3], wp[3], wq[3];
        if (exactDifferences(cut.q, cut.p, u) && exactDifferences(cut.r, cut.p, v) &&
            exactDifferences(p, cut.p, wp) && exactDifferences(q, cut.p, wq)) {
            kp = tripleProduct(u, v, wp);
            kq = tripleProduct(u, v, wq);
            return;
        }
    }
    const ExpansionRow cutNormal = exactNormalRow(cut);
    kp = exactPlaneValue(cut, cutNormal, p);
    kq = exactPlaneValue(cut, cutNormal, q);
}

} // namespace

void cutPoint(const ExactPlane& line, const ExactPlane& cut, double out[3]) {
    // x = (K(p) q - K(q) p) / (K(p) - K(q))
    Expansion kp, kq;
    valuesAtEnds(cut, line.p, line.q, kp, kq);
    const Expansion denominator = kp - kq;
    for (int k = 0; k < 3; ++k) {
        if (line.p[k] == line.q[k]) {
            out[k] = line.p[k];
            continue;
        }
        out[k] = roundQuotientDown(kp * line.q[k] - kq * line.p[k], denominator);
    }
}

namespace {

// The four 3x3 minors of the rows s, p, q (column j left out, as minor3)
// from the six 2x2 minors of p and q, which they share; `Permanent` gives
// the permanent (of magnitudes) instead of the determinant.
template <bool Permanent>
void allMinors(const double* s, const double* p, const double* q, double out[4]) {
    auto pair = [&](int i, int j) { return Permanent ? p[i] * q[j] + p[j] * q[i] : p[i] * q[j] - p[j] * q[i]; };
    const double m01 = pair(0, 1), m02 = pair(0, 2), m03 = pair(0, 3);
    const double m12 = pair(1, 2), m13 = pair(1, 3), m23 = pair(2, 3);
    const double sign = Permanent ? 1.0 : -1.0;
    out[0] = s[1] * m23 + sign * s[2] * m13 + s[3] * m12;
    out[1] = s[0] * m23 + sign * s[2] * m03 + s[3] * m02;
    out[2] = s[0] * m13 + sign * s[1] * m03 + s[3] * m01;
    out[3] = s[0] * m12 + sign * s[1] * m02 + s[2] * m01;
}

} // namespace

ApproximatePoint approximateIntersection(const ExactPlane& s, const ExactPlane& p, const ExactPlane& q) {
    ApproximatePoint a{};
    double minors[4], permanents[4];
    allMinors<false>(s.coefficient, p.coefficient, q.coefficient, minors);
    allMinors<true>(s.magnitude, p.magnitude, q.magnitude, permanents);
    const double denominator = minors[3];
    const double denominatorError = kFilterBound * permanents[3];
    const double margin = std::fabs(denominator) - denominatorError;
    if (!(margin > 0.0))
        return a;
    for (int k = 0; k < 3; ++k) {
        const double numerator = k % 2 == 0 ? -minors[k] : minors[k];
        const double numeratorError = kFilterBound * permanents[k];
        a.x[k] = numerator / denominator;
        // |n/d - n'/d'| <= (|dn| + |x| |dd|) / (|d| - |dd|), plus the division.
        a.error[k] = (numeratorError + std::fabs(a.x[k]) * denominatorError) / margin * 1.0000001 +
                     std::fabs(a.x[k]) * 4.5e-16;
        if (!std::isfinite(a.x[k]) || !std::isfinite(a.error[k]))
            return a;
    }
    a.valid = true;
    return a;
}

int sideOfApproximatePoint(const ExactPlane& plane, const ApproximatePoint& point) {
    if (!point.valid)
        return 2;
    const double* n = plane.coefficient;
    const double* m = plane.magnitude;
    double value = n[3], bound = m[3];
    double spread = 0.0;
    for (int k = 0; k < 3; ++k) {
        value += n[k] * point.x[k];
        bound += m[k] * std::fabs(point.x[k]);
        spread += (std::fabs(n[k]) + kFilterBound * m[k]) * point.error[k];
    }
    bound = kFilterBound * bound + spread * 1.0000001;
    if (value > bound)
        return 1;
    if (value < -bound)
        return -1;
    return 2;
}

int normalsAgree(const ExactPlane& a, const ExactPlane& b) {
    const double dot = a.coefficient[0] * b.coefficient[0] + a.coefficient[1] * b.coefficient[1] +
                       a.coefficient[2] * b.coefficient[2];
    return signOf(dot);
}

} // namespace Kiln
