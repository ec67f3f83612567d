#pragma once
// Test meshes of chosen size for the benchmarks, each built in one place.
#include "mesh/DynamicMesh.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace benchmesh {

/// A closed sphere about the z axis of rings x segments quads, two triangles
/// each, its radius rippled by `bumps`: x, y, z per vertex and three indices
/// per triangle, wound outwards.
inline void sphere(int rings, int segments, double radius, double bumps, std::vector<float>& positions,
                   std::vector<std::uint32_t>& indices) {
    positions.clear();
    indices.clear();
    positions.reserve(3 * std::size_t(rings + 1) * segments);
    for (int i = 0; i <= rings; ++i) {
        const double theta = M_PI * i / rings;
        for (int j = 0; j < segments; ++j) {
            const double phi = 2.0 * M_PI * j / segments;
            const double r = radius + bumps * std::sin(7 * theta) * std::sin(5 * phi);
            positions.insert(positions.end(), {float(r * std::sin(theta) * std::cos(phi)),
                                               float(r * std::sin(theta) * std::sin(phi)),
                                               float(r * std::cos(theta))});
        }
    }
    indices.reserve(6 * std::size_t(rings) * segments);
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < segments; ++j) {
            const std::uint32_t a = i * segments + j, b = i * segments + (j + 1) % segments;
            const std::uint32_t c = a + segments, d = b + segments;
            indices.insert(indices.end(), {a, c, b, b, c, d});
        }
}

/// A closed torus about the z axis (radii `major` and 1) of rings x segments
/// quads, two triangles each, as flat arrays like `sphere`.
inline void torus(int rings, int segments, double major, std::vector<float>& positions,
                  std::vector<std::uint32_t>& indices) {
    positions.clear();
    indices.clear();
    positions.reserve(3 * std::size_t(rings) * segments);
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < segments; ++j) {
            const double theta = 2.0 * M_PI * i / rings, phi = 2.0 * M_PI * j / segments;
            const double r = major + std::cos(phi);
            positions.insert(positions.end(),
                             {float(r * std::cos(theta)), float(r * std::sin(theta)), float(std::sin(phi))});
        }
    indices.reserve(6 * std::size_t(rings) * segments);
    const auto at = [&](int a, int b) { return std::uint32_t((a % rings) * segments + b % segments); };
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < segments; ++j)
            indices.insert(indices.end(), {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j),
                                           at(i + 1, j + 1), at(i, j + 1)});
}

/// The torus of radii 3 and 1 as a mesh with white vertices.
inline std::unique_ptr<Kiln::DynamicMesh> torusMesh(int rings, int segments) {
    std::vector<float> positions;
    std::vector<std::uint32_t> indices;
    torus(rings, segments, 3.0, positions, indices);
    std::vector<Kiln::Vertex> vertices(positions.size() / 3);
    for (std::size_t v = 0; v < vertices.size(); ++v)
        vertices[v].position = Ogre::Vector3(positions[3 * v], positions[3 * v + 1], positions[3 * v + 2]);
    std::vector<Kiln::Face> faces(indices.size() / 3);
    for (std::size_t f = 0; f < faces.size(); ++f)
        faces[f] = {indices[3 * f], indices[3 * f + 1], indices[3 * f + 2]};
    return std::make_unique<Kiln::DynamicMesh>(std::move(vertices), std::move(faces));
}

} // namespace benchmesh
