#pragma once
// A spatial hash over one mesh's vertex positions, built once when a brush
// stroke starts, so that each frame of the stroke looks only at the vertices
// near the brush instead of walking the whole mesh.
#include "mesh/Vertex.h"

#include <OgreVector3.h>

#include <cstdint>
#include <vector>

namespace Kiln {
class DynamicMesh;
} // namespace Kiln

class VertexGrid {
public:
    /// Indexes the vertex positions of `mesh` (mesh-local frame) in cells of
    /// edge `cellSize` (> 0; a non-positive or non-finite size falls back to
    /// the mesh's extent). The grid does not follow later edits of the mesh.
    void build(const std::vector<Kiln::Vertex>& vertices, float cellSize);
    bool empty() const { return vertexCount == 0; }
    std::size_t size() const { return vertexCount; }

    /// Appends to `out` (not cleared) every vertex within `radius` of
    /// `centre`, ascending within each cell. No allocation when `out` has room.
    /// `vertices` may have grown past the indexed ones (a brush appending
    /// to the list it searches): the extra ones are never reported.
    void query(const std::vector<Kiln::Vertex>& vertices, const Ogre::Vector3& centre, float radius,
               std::vector<std::uint32_t>& out) const;
    /// The vertex nearest to `point` among those within `radius`, or -1.
    std::int64_t nearest(const std::vector<Kiln::Vertex>& vertices, const Ogre::Vector3& point,
                         float radius) const;

private:
    std::uint32_t bucketOf(std::int64_t x, std::int64_t y, std::int64_t z) const;
    std::int64_t cellOf(float coordinate) const;

    float cell = 1.f;
    std::size_t vertexCount = 0;
    std::uint32_t mask = 0;
    std::vector<std::uint32_t> offsets;  ///< bucket b owns entries[offsets[b] .. offsets[b + 1])
    std::vector<std::uint32_t> entries;
};
