#pragma once
// Small closed meshes shared by the geometry tests. Closedness and volume
// come from the mesh library's own measures (mesh/MeshMeasures.h), which
// are tested on their own in tests/mesh.
#include "geometry/Boolean.h"
#include "mesh/MeshMeasures.h"

#include <cmath>
#include <random>

namespace fixtures {

inline Kiln::MeshArrays box(double x0, double y0, double z0, double x1, double y1, double z1) {
    Kiln::MeshArrays m;
    for (int i = 0; i < 8; ++i) {
        m.positions.push_back(i & 1 ? x1 : x0);
        m.positions.push_back(i & 2 ? y1 : y0);
        m.positions.push_back(i & 4 ? z1 : z0);
    }
    // Outward, counter-clockwise seen from outside.
    m.indices = {0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4,
                 2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5};
    return m;
}

inline Kiln::MeshArrays cube(double x, double y, double z, double size) {
    return box(x, y, z, x + size, y + size, z + size);
}

/// A latitude-longitude sphere with poles, closed.
inline Kiln::MeshArrays sphere(double cx, double cy, double cz, double radius, int rings, int segments) {
    Kiln::MeshArrays m;
    auto add = [&](double x, double y, double z) {
        m.positions.push_back(cx + x);
        m.positions.push_back(cy + y);
        m.positions.push_back(cz + z);
    };
    add(0, 0, radius);
    for (int r = 1; r < rings; ++r) {
        const double theta = M_PI * r / rings;
        for (int s = 0; s < segments; ++s) {
            const double phi = 2.0 * M_PI * s / segments;
            add(radius * std::sin(theta) * std::cos(phi), radius * std::sin(theta) * std::sin(phi),
                radius * std::cos(theta));
        }
    }
    add(0, 0, -radius);
    const std::uint32_t south = static_cast<std::uint32_t>(m.vertexCount() - 1);
    auto ring = [&](int r, int s) { return static_cast<std::uint32_t>(1 + (r - 1) * segments + (s % segments)); };
    auto triangle = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        m.indices.push_back(a);
        m.indices.push_back(b);
        m.indices.push_back(c);
    };
    for (int s = 0; s < segments; ++s)
        triangle(0u, ring(1, s), ring(1, s + 1));
    for (int r = 1; r + 1 < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            triangle(ring(r, s), ring(r + 1, s), ring(r + 1, s + 1));
            triangle(ring(r, s), ring(r + 1, s + 1), ring(r, s + 1));
        }
    for (int s = 0; s < segments; ++s)
        triangle(ring(rings - 1, s), south, ring(rings - 1, s + 1));
    return m;
}

/// Rotates about the z axis through (cx, cy).
inline void rotateZ(Kiln::MeshArrays& m, double angle, double cx, double cy) {
    const double c = std::cos(angle), s = std::sin(angle);
    for (std::size_t v = 0; v < m.vertexCount(); ++v) {
        const double x = m.positions[3 * v] - cx, y = m.positions[3 * v + 1] - cy;
        m.positions[3 * v] = cx + c * x - s * y;
        m.positions[3 * v + 1] = cy + s * x + c * y;
    }
}

/// Rotates about the x, then y, then z axis through the origin.
inline void rotateXYZ(Kiln::MeshArrays& m, double ax, double ay, double az) {
    for (std::size_t v = 0; v < m.vertexCount(); ++v) {
        double* p = &m.positions[3 * v];
        double x = p[0], y = p[1], z = p[2], t;
        t = y * std::cos(ax) - z * std::sin(ax);
        z = y * std::sin(ax) + z * std::cos(ax);
        y = t;
        t = x * std::cos(ay) + z * std::sin(ay);
        z = -x * std::sin(ay) + z * std::cos(ay);
        x = t;
        t = x * std::cos(az) - y * std::sin(az);
        y = x * std::sin(az) + y * std::cos(az);
        x = t;
        p[0] = x;
        p[1] = y;
        p[2] = z;
    }
}

/// Both meshes in one, b's vertices after a's.
inline Kiln::MeshArrays joined(Kiln::MeshArrays a, const Kiln::MeshArrays& b) {
    const auto offset = static_cast<std::uint32_t>(a.vertexCount());
    a.positions.insert(a.positions.end(), b.positions.begin(), b.positions.end());
    for (const std::uint32_t i : b.indices)
        a.indices.push_back(i + offset);
    return a;
}

inline Kiln::MeshArrays shifted(Kiln::MeshArrays m, double dx, double dy, double dz) {
    for (std::size_t v = 0; v < m.vertexCount(); ++v) {
        m.positions[3 * v] += dx;
        m.positions[3 * v + 1] += dy;
        m.positions[3 * v + 2] += dz;
    }
    return m;
}

// Irregular closed meshes like scanned and modelled figures, generated
// with fixed seeds: bumpy, thin and of higher genus.

/// Moves every vertex along its direction from the origin by up to
/// ±fraction/2 of its distance.
inline void roughen(Kiln::MeshArrays& m, double fraction, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> jitter(-0.5 * fraction, 0.5 * fraction);
    for (double* p = m.positions.data(); p < m.positions.data() + m.positions.size(); p += 3) {
        const double k = 1.0 + jitter(random);
        for (int c = 0; c < 3; ++c)
            p[c] *= k;
    }
}

/// A unit sphere with bumps of up to ±fraction/2 of its radius.
inline Kiln::MeshArrays noisySphere(int rings, int segments, double fraction, std::uint32_t seed) {
    Kiln::MeshArrays m = sphere(0, 0, 0, 1.0, rings, segments);
    roughen(m, fraction, seed);
    return m;
}

/// A bumpy unit sphere flattened along z to `thickness` of its width.
inline Kiln::MeshArrays thinShell(int rings, int segments, double thickness, std::uint32_t seed) {
    Kiln::MeshArrays m = noisySphere(rings, segments, 0.08, seed);
    for (std::size_t v = 0; v < m.vertexCount(); ++v)
        m.positions[3 * v + 2] *= thickness;
    return m;
}

/// A torus of rings x segments x 2 triangles about the z axis through
/// (cx, 0), its tube radius varying by up to ±noise/2 from vertex to vertex.
inline Kiln::MeshArrays torus(double cx, double major, double minor, int rings, int segments, double noise,
                              std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> jitter(-0.5 * noise, 0.5 * noise);
    Kiln::MeshArrays m;
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < segments; ++j) {
            const double a = 2 * M_PI * i / rings, b = 2 * M_PI * j / segments;
            const double r = minor * (1.0 + jitter(random));
            m.positions.insert(m.positions.end(), {cx + (major + r * std::cos(b)) * std::cos(a),
                                                   (major + r * std::cos(b)) * std::sin(a), r * std::sin(b)});
        }
    const auto at = [&](int i, int j) { return static_cast<std::uint32_t>((i % rings) * segments + j % segments); };
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < segments; ++j)
            m.indices.insert(m.indices.end(), {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j), at(i + 1, j + 1),
                                               at(i, j + 1)});
    return m;
}

/// Two bumpy tori side by side: genus two, in two pieces.
inline Kiln::MeshArrays twoTori(int rings, int segments, double noise, std::uint32_t seed) {
    return joined(torus(0, 1, 0.3, rings, segments, noise, seed), torus(2.8, 1, 0.3, rings, segments, noise, seed + 4));
}

/// A closed cone of `count` slivers: apex (0, 0, 1) over the unit circle,
/// with a flat bottom fanned around the origin. Every sliver meets hundreds
/// of others near the two centres.
inline Kiln::MeshArrays sliverCone(std::uint32_t count) {
    Kiln::MeshArrays m;
    m.positions = {0, 0, 1, 0, 0, 0};
    for (std::uint32_t i = 0; i < count; ++i) {
        const double angle = 2.0 * M_PI * i / count;
        m.positions.insert(m.positions.end(), {std::cos(angle), std::sin(angle), 0.0});
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t a = 2 + i, b = 2 + (i + 1) % count;
        m.indices.insert(m.indices.end(), {0, a, b, 1, b, a});
    }
    return m;
}

} // namespace fixtures
