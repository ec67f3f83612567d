#pragma once
// Unconnected triangles from an exchange file, turned into one welded mesh
// per connected piece.
#include "mesh/FlatIndexTable.h"
#include "mesh/Vertex.h"
#include "scene/IObjectFactory.h"

#include <vector>

namespace Kiln {

class TriangleSoup {
public:
    struct Piece {
        std::vector<Vertex> vertices;
        std::vector<Face> faces;
    };

    /// Room for `triangles` triangles of a closed mesh (about half as many
    /// vertices) before the arrays grow.
    void reserve(std::size_t triangles) {
        vertices.reserve(triangles / 2 + 3);
        faces.reserve(triangles);
        vertexAt.reserve(triangles / 2 + 3);
    }
    /// Appends the face joining the three corners. Corners are welded as
    /// they come: a corner at the position of an earlier one (compared with
    /// ==) is that vertex, which keeps its own colour and u, v. Welding here
    /// rather than at the end keeps one record per distinct position, not
    /// three per triangle.
    void addTriangle(const Vertex& a, const Vertex& b, const Vertex& c) {
        faces.push_back(Face{weld(a), weld(b), weld(c)});
    }
    /// Hint that a corner at `p` comes soon (see FlatIndexTable::prefetch).
    void prefetchCorner(const Ogre::Vector3& p) const { vertexAt.prefetch(hashPosition(p.x, p.y, p.z)); }
    std::size_t getTriangleCount() const { return faces.size(); }

    /// Splits the faces into pieces connected across edges, numbered by
    /// their lowest face. Each piece's vertices are renumbered in first-use
    /// order. Empties the soup.
    std::vector<Piece> finish();

    /// Finishes the soup and adds one object per piece to `root`, pivot at
    /// the piece's centre, "castShadows" false and "material" `material`.
    void addObjects(ObjectGroup& root, IObjectFactory& factory, const std::string& material);

private:
    std::uint32_t weld(const Vertex& corner) {
        const Ogre::Vector3& p = corner.position;
        const auto next = static_cast<std::uint32_t>(vertices.size());
        const std::uint32_t id = vertexAt.findOrAdd(hashPosition(p.x, p.y, p.z), next, [&](std::uint32_t other) {
            return vertices[other].position == p;
        });
        if (id == next)
            vertices.push_back(corner);
        return id;
    }

    std::vector<Vertex> vertices; ///< one per distinct position
    std::vector<Face> faces;
    FlatIndexTable vertexAt;      ///< vertices by position
};

} // namespace Kiln
