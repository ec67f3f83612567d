#pragma once
// Test meshes of chosen size for the benchmarks, each built in one place.
#include "mesh/DynamicMesh.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
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

/// A triangle mesh over flat arrays of doubles, for the peers' inputs.
struct FlatMesh {
    std::vector<double> positions; ///< x, y, z per vertex
    std::vector<std::uint32_t> indices; ///< 3 per triangle, wound outwards
    std::size_t triangleCount() const { return indices.size() / 3; }
};

/// A geodesic sphere: an icosahedron split `level` times into four, every
/// vertex pushed to the sphere; 20 * 4^level triangles.
inline FlatMesh icosphere(int level, double cx, double cy, double cz, double radius) {
    const double t = (1.0 + std::sqrt(5.0)) / 2.0;
    std::vector<std::array<double, 3>> points = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0},
                                                 {0, -1, t}, {0, 1, t}, {0, -1, -t}, {0, 1, -t},
                                                 {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
    std::vector<std::uint32_t> faces = {0, 11, 5, 0, 5, 1, 0, 1, 7, 0, 7, 10, 0, 10, 11, 1, 5, 9, 5, 11, 4,
                                        11, 10, 2, 10, 7, 6, 7, 1, 8, 3, 9, 4, 3, 4, 2, 3, 2, 6, 3, 6, 8,
                                        3, 8, 9, 4, 9, 5, 2, 4, 11, 6, 2, 10, 8, 6, 7, 9, 8, 1};
    const auto normalise = [](std::array<double, 3> p) {
        const double length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        return std::array<double, 3>{p[0] / length, p[1] / length, p[2] / length};
    };
    for (auto& p : points)
        p = normalise(p);
    for (int l = 0; l < level; ++l) {
        std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> middles;
        const auto middle = [&](std::uint32_t a, std::uint32_t b) {
            const auto key = std::make_pair(std::min(a, b), std::max(a, b));
            const auto found = middles.find(key);
            if (found != middles.end())
                return found->second;
            points.push_back(normalise({points[a][0] + points[b][0], points[a][1] + points[b][1],
                                        points[a][2] + points[b][2]}));
            const auto id = static_cast<std::uint32_t>(points.size() - 1);
            middles.emplace(key, id);
            return id;
        };
        std::vector<std::uint32_t> finer;
        finer.reserve(faces.size() * 4);
        for (std::size_t f = 0; f < faces.size(); f += 3) {
            const std::uint32_t a = faces[f], b = faces[f + 1], c = faces[f + 2];
            const std::uint32_t ab = middle(a, b), bc = middle(b, c), ca = middle(c, a);
            finer.insert(finer.end(), {a, ab, ca, b, bc, ab, c, ca, bc, ab, bc, ca});
        }
        faces.swap(finer);
    }
    FlatMesh mesh;
    mesh.positions.reserve(3 * points.size());
    for (const auto& p : points)
        mesh.positions.insert(mesh.positions.end(), {cx + radius * p[0], cy + radius * p[1], cz + radius * p[2]});
    mesh.indices = std::move(faces);
    return mesh;
}

/// A latitude-longitude sphere with a vertex at each pole: 2 * segments *
/// (rings - 1) triangles.
inline FlatMesh uvSphere(int rings, int segments, double cx, double cy, double cz, double radius) {
    FlatMesh mesh;
    mesh.positions.reserve(3 * (std::size_t(rings - 1) * segments + 2));
    const auto add = [&](double x, double y, double z) {
        mesh.positions.push_back(cx + radius * x);
        mesh.positions.push_back(cy + radius * y);
        mesh.positions.push_back(cz + radius * z);
    };
    add(0, 0, 1);
    for (int r = 1; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const double theta = M_PI * r / rings, phi = 2.0 * M_PI * s / segments;
            add(std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta));
        }
    add(0, 0, -1);
    const auto south = static_cast<std::uint32_t>(mesh.positions.size() / 3 - 1);
    const auto at = [&](int r, int s) { return std::uint32_t(1 + (r - 1) * segments + s % segments); };
    for (int s = 0; s < segments; ++s)
        mesh.indices.insert(mesh.indices.end(), {0u, at(1, s), at(1, s + 1)});
    for (int r = 1; r + 1 < rings; ++r)
        for (int s = 0; s < segments; ++s)
            mesh.indices.insert(mesh.indices.end(),
                                {at(r, s), at(r + 1, s), at(r + 1, s + 1), at(r, s), at(r + 1, s + 1), at(r, s + 1)});
    for (int s = 0; s < segments; ++s)
        mesh.indices.insert(mesh.indices.end(), {at(rings - 1, s), south, at(rings - 1, s + 1)});
    return mesh;
}

/// Positions rounded to floats, as a binary STL stores them, so that a peer
/// fed from memory sees the same input as a program reading the file.
inline void roundToFloats(FlatMesh& mesh) {
    for (double& c : mesh.positions)
        c = static_cast<float>(c);
}

/// Writes the mesh as a binary STL (zero normals and attributes); false
/// when the file cannot be written.
inline bool writeBinaryStl(const FlatMesh& mesh, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    char header[80] = "bench mesh";
    const auto count = static_cast<std::uint32_t>(mesh.triangleCount());
    std::vector<unsigned char> bytes(84 + 50 * std::size_t(count), 0);
    std::memcpy(bytes.data(), header, 80);
    std::memcpy(bytes.data() + 80, &count, 4);
    for (std::size_t t = 0; t < count; ++t)
        for (int k = 0; k < 3; ++k)
            for (int c = 0; c < 3; ++c) {
                const float value = static_cast<float>(mesh.positions[3 * mesh.indices[3 * t + k] + c]);
                std::memcpy(bytes.data() + 84 + 50 * t + 12 + 12 * k + 4 * c, &value, 4);
            }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

} // namespace benchmesh
