#include "functions/brush/VertexGrid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// A cell coordinate far outside any real model stands for NaN positions, so
// that they fall into one bucket that no query reaches.
constexpr std::int64_t farCell = std::int64_t(1) << 40;
} // namespace

std::int64_t VertexGrid::cellOf(float coordinate) const {
    const double c = std::floor(double(coordinate) / double(cell));
    if (!(std::fabs(c) < double(farCell)))
        return farCell;
    return static_cast<std::int64_t>(c);
}

std::uint32_t VertexGrid::bucketOf(std::int64_t x, std::int64_t y, std::int64_t z) const {
    const std::uint64_t h = std::uint64_t(x) * 73856093u ^ std::uint64_t(y) * 19349663u ^ std::uint64_t(z) * 83492791u;
    return static_cast<std::uint32_t>((h ^ (h >> 29)) & mask);
}

void VertexGrid::build(const std::vector<Kiln::Vertex>& vertices, float cellSize) {
    vertexCount = vertices.size();
    if (!(cellSize > 0.f) || !std::isfinite(cellSize)) {
        float extent = 0.f;
        for (const Kiln::Vertex& v : vertices)
            if (std::isfinite(v.position.x) && std::isfinite(v.position.y) && std::isfinite(v.position.z))
                extent = std::max({extent, std::fabs(v.position.x), std::fabs(v.position.y), std::fabs(v.position.z)});
        cellSize = extent > 0.f ? extent : 1.f;
    }
    cell = cellSize;
    std::uint32_t buckets = 1;
    while (buckets < vertexCount && buckets < (1u << 30))
        buckets <<= 1;
    mask = buckets - 1;

    std::vector<std::uint32_t> bucket(vertexCount);
    offsets.assign(std::size_t(buckets) + 1, 0);
    for (std::size_t i = 0; i < vertexCount; ++i) {
        const Ogre::Vector3& p = vertices[i].position;
        bucket[i] = bucketOf(cellOf(p.x), cellOf(p.y), cellOf(p.z));
        ++offsets[bucket[i] + 1];
    }
    for (std::size_t b = 0; b < buckets; ++b)
        offsets[b + 1] += offsets[b];
    entries.resize(vertexCount);
    std::vector<std::uint32_t> fill(offsets.begin(), offsets.end() - 1);
    for (std::size_t i = 0; i < vertexCount; ++i)
        entries[fill[bucket[i]]++] = static_cast<std::uint32_t>(i);
}

void VertexGrid::query(const std::vector<Kiln::Vertex>& vertices, const Ogre::Vector3& centre, float radius,
                       std::vector<std::uint32_t>& out) const {
    if (vertexCount == 0 || !(radius >= 0.f) || vertices.size() < vertexCount)
        return;
    const float r2 = radius * radius;
    const std::int64_t x0 = cellOf(centre.x - radius), x1 = cellOf(centre.x + radius);
    const std::int64_t y0 = cellOf(centre.y - radius), y1 = cellOf(centre.y + radius);
    const std::int64_t z0 = cellOf(centre.z - radius), z1 = cellOf(centre.z + radius);
    if (x0 == farCell || x1 == farCell || y0 == farCell || y1 == farCell || z0 == farCell || z1 == farCell)
        return;
    // Cells may share a bucket: the cell test keeps each vertex to its own
    // cell, so every vertex is reported once.
    for (std::int64_t x = x0; x <= x1; ++x)
        for (std::int64_t y = y0; y <= y1; ++y)
            for (std::int64_t z = z0; z <= z1; ++z) {
                const std::uint32_t b = bucketOf(x, y, z);
                for (std::uint32_t k = offsets[b]; k < offsets[b + 1]; ++k) {
                    const std::uint32_t v = entries[k];
                    const Ogre::Vector3& p = vertices[v].position;
                    if (cellOf(p.x) == x && cellOf(p.y) == y && cellOf(p.z) == z &&
                        p.squaredDistance(centre) <= r2)
                        out.push_back(v);
                }
            }
}

std::int64_t VertexGrid::nearest(const std::vector<Kiln::Vertex>& vertices, const Ogre::Vector3& point,
                                 float radius) const {
    thread_local std::vector<std::uint32_t> found;
    found.clear();
    query(vertices, point, radius, found);
    std::int64_t best = -1;
    float bestDistance = std::numeric_limits<float>::infinity();
    for (const std::uint32_t v : found) {
        const float d = vertices[v].position.squaredDistance(point);
        if (d < bestDistance || (d == bestDistance && std::int64_t(v) < best)) {
            bestDistance = d;
            best = v;
        }
    }
    return best;
}
