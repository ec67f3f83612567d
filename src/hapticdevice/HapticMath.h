#pragma once
// Double-precision vector and matrix arithmetic for the haptic loop. The
// engine's float types appear only at the public interfaces; everything that
// runs at 1 kHz works on these plain values.
#include <cmath>

namespace Kiln {

struct Vec3d {
    double x = 0.0, y = 0.0, z = 0.0;

    constexpr Vec3d() = default;
    constexpr Vec3d(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

    constexpr Vec3d operator+(const Vec3d& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr Vec3d operator-(const Vec3d& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr Vec3d operator-() const { return {-x, -y, -z}; }
    constexpr Vec3d operator*(double s) const { return {x * s, y * s, z * s}; }
    Vec3d& operator+=(const Vec3d& o) { x += o.x; y += o.y; z += o.z; return *this; }
    Vec3d& operator-=(const Vec3d& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
    Vec3d& operator*=(double s) { x *= s; y *= s; z *= s; return *this; }
    double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

constexpr Vec3d operator*(double s, const Vec3d& v) { return v * s; }
constexpr double dot(const Vec3d& a, const Vec3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
constexpr Vec3d cross(const Vec3d& a, const Vec3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
constexpr double squaredLength(const Vec3d& v) { return dot(v, v); }
inline double length(const Vec3d& v) { return std::sqrt(dot(v, v)); }
inline bool isFinite(const Vec3d& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}
inline bool hasNaN(const Vec3d& v) { return std::isnan(v.x) || std::isnan(v.y) || std::isnan(v.z); }
inline Vec3d normalised(const Vec3d& v) { return v * (1.0 / length(v)); }

/// Row-major 3x3 matrix.
struct Mat3d {
    double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

    Vec3d operator*(const Vec3d& v) const {
        return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z,
                m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
    }
    Mat3d operator*(const Mat3d& o) const {
        Mat3d r;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                r.m[i][j] = m[i][0] * o.m[0][j] + m[i][1] * o.m[1][j] + m[i][2] * o.m[2][j];
        return r;
    }
    Mat3d transposed() const {
        Mat3d r;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                r.m[i][j] = m[j][i];
        return r;
    }
    Vec3d row(int i) const { return {m[i][0], m[i][1], m[i][2]}; }
    double determinant() const {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
               m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    }
    /// Inverse by adjugate and determinant; a singular matrix gives
    /// non-finite entries, which callers test with isFinite.
    Mat3d inverse() const {
        const double inv = 1.0 / determinant();
        Mat3d r;
        r.m[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) * inv;
        r.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * inv;
        r.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * inv;
        r.m[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) * inv;
        r.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * inv;
        r.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * inv;
        r.m[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) * inv;
        r.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * inv;
        r.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * inv;
        return r;
    }
    bool isFinite() const {
        for (const auto& r : m)
            for (double v : r)
                if (!std::isfinite(v))
                    return false;
        return true;
    }
};

/// Quaternion as (w, x, y, z).
struct Quatd {
    double w = 1.0, x = 0.0, y = 0.0, z = 0.0;

    Quatd operator*(const Quatd& q) const {
        return {w * q.w - x * q.x - y * q.y - z * q.z, w * q.x + x * q.w + y * q.z - z * q.y,
                w * q.y + y * q.w + z * q.x - x * q.z, w * q.z + z * q.w + x * q.y - y * q.x};
    }
};

/// Rotation matrix of a quaternion that need not be unit length (the factor
/// 2 / |q|^2 normalises it); the zero quaternion gives the identity.
inline Mat3d rotationMatrix(const Quatd& q) {
    const double n = q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z;
    const double s = n > 0.0 ? 2.0 / n : 0.0;
    const double wx = s * q.w * q.x, wy = s * q.w * q.y, wz = s * q.w * q.z;
    const double xx = s * q.x * q.x, xy = s * q.x * q.y, xz = s * q.x * q.z;
    const double yy = s * q.y * q.y, yz = s * q.y * q.z, zz = s * q.z * q.z;
    Mat3d r;
    r.m[0][0] = 1.0 - (yy + zz); r.m[0][1] = xy - wz;         r.m[0][2] = xz + wy;
    r.m[1][0] = xy + wz;         r.m[1][1] = 1.0 - (xx + zz); r.m[1][2] = yz - wx;
    r.m[2][0] = xz - wy;         r.m[2][1] = yz + wx;         r.m[2][2] = 1.0 - (xx + yy);
    return r;
}

} // namespace Kiln
