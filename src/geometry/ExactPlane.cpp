#include "geometry/ExactPlane.h"

#include "geometry/Expansion.h"

#include <cmath>

namespace Kiln {
namespace {

// Relative error bound of the double-precision evaluations below, measured
// against the permanent of the coefficient magnitudes. The evaluations round
// a few dozen times at most; this keeps a wide margin.
constexpr double kFilterBound = 1e-13;

void exactCoefficients(const ExactPlane& plane, Expansion out[4]) {
    switch (plane.kind) {
    case ExactPlane::Kind::Axis:
        for (int k = 0; k < 3; ++k)
            out[k] = Expansion(k == plane.axis ? 1.0 : 0.0);
        out[3] = Expansion(-plane.p[plane.axis]);
        return;
    case ExactPlane::Kind::EdgeAlongAxis: {
        Expansion u[3];
        for (int k = 0; k < 3; ++k)
            u[k] = Expansion::difference(plane.q[k], plane.p[k]);
        // u x e_axis
        const int a = plane.axis, b = (a + 1) % 3, c = (a + 2) % 3;
        out[a] = Expansion();
        out[b] = u[c];
        out[c] = -u[b];
        break;
    }
    case ExactPlane::Kind::ThroughPoints: {
        Expansion u[3], v[3];
        for (int k = 0; k < 3; ++k) {
            u[k] = Expansion::difference(plane.q[k], plane.p[k]);
            v[k] = Expansion::difference(plane.r[k], plane.p[k]);
        }
        out[0] = u[1] * v[2] - u[2] * v[1];
        out[1] = u[2] * v[0] - u[0] * v[2];
        out[2] = u[0] * v[1] - u[1] * v[0];
        break;
    }
    }
    out[3] = -(out[0] * plane.p[0] + out[1] * plane.p[1] + out[2] * plane.p[2]);
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

ExpansionRow exactRow(const ExactPlane& plane) {
    ExpansionRow row;
    exactCoefficients(plane, row.e);
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
        mu[k] = std::fabs(q[k]) + std::fabs(p[k]);
        mv[k] = std::fabs(r[k]) + std::fabs(p[k]);
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
        mu[k] = std::fabs(q[k]) + std::fabs(p[k]);
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
    const ExpansionRow row = exactRow(plane);
    return row[0].sign() == 0 && row[1].sign() == 0 && row[2].sign() == 0;
}

int sideOfPoint(const ExactPlane& plane, const double x[3]) {
    const double* n = plane.coefficient;
    const double* m = plane.magnitude;
    const double value = n[0] * x[0] + n[1] * x[1] + n[2] * x[2] + n[3];
    const double bound =
        kFilterBound * (m[0] * std::fabs(x[0]) + m[1] * std::fabs(x[1]) + m[2] * std::fabs(x[2]) + m[3]);
    if (value > bound)
        return 1;
    if (value < -bound)
        return -1;
    const ExpansionRow row = exactRow(plane);
    return (row[0] * x[0] + row[1] * x[1] + row[2] * x[2] + row[3]).sign();
}

int normalsDeterminantSign(const ExactPlane& s, const ExactPlane& p, const ExactPlane& q) {
    const double value = minor3(s.coefficient, p.coefficient, q.coefficient, 3);
    const double bound = kFilterBound * minorPermanent(s.magnitude, p.magnitude, q.magnitude, 3);
    if (value > bound)
        return 1;
    if (value < -bound)
        return -1;
    const ExpansionRow rs = exactRow(s), rp = exactRow(p), rq = exactRow(q);
    return minor3(rs, rp, rq, 3).sign();
}

int sideOfIntersection(const ExactPlane& s, const ExactPlane& p, const ExactPlane& q, int normalsSign,
                       const ExactPlane& plane) {
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
    const ExpansionRow rs = exactRow(s), rp = exactRow(p), rq = exactRow(q), rr = exactRow(plane);
    Expansion det;
    for (int j = 0; j < 4; ++j) {
        const Expansion term = rr[j] * minor3(rs, rp, rq, j);
        det = (j % 2 == 1) ? det + term : det - term;
    }
    return det.sign() * normalsSign;
}

void intersectionPoint(const ExactPlane& s, const ExactPlane& p, const ExactPlane& q, double out[3]) {
    const ExpansionRow rs = exactRow(s), rp = exactRow(p), rq = exactRow(q);
    const Expansion denominator = minor3(rs, rp, rq, 3);
    const int denominatorSign = denominator.sign();
    const double denominatorEstimate = denominator.estimate();
    for (int k = 0; k < 3; ++k) {
        // Cramer: x_k = C_k / C_3 with C_k the cofactors of the last row.
        Expansion numerator = minor3(rs, rp, rq, k);
        if (k % 2 == 0)
            numerator = -numerator;
        double x = numerator.estimate() / denominatorEstimate;
        // x <= value  <=>  sign(numerator - x * denominator) * sign(denominator) >= 0
        auto notAbove = [&](double candidate) {
            return (numerator - denominator * candidate).sign() * denominatorSign >= 0;
        };
        while (!notAbove(x))
            x = std::nextafter(x, -HUGE_VAL);
        for (double up = std::nextafter(x, HUGE_VAL); notAbove(up); up = std::nextafter(x, HUGE_VAL))
            x = up;
        out[k] = x;
    }
}

int normalsAgree(const ExactPlane& a, const ExactPlane& b) {
    const double dot = a.coefficient[0] * b.coefficient[0] + a.coefficient[1] * b.coefficient[1] +
                       a.coefficient[2] * b.coefficient[2];
    return signOf(dot);
}

} // namespace Kiln
