#pragma once
// Unconnected triangles from an exchange file, turned into one welded mesh
// per connected piece.
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

    void reserve(std::size_t triangles) {
        vertices.reserve(triangles * 3);
        faces.reserve(triangles);
    }
    /// Appends three new vertices and the face joining them.
    void addTriangle(const Vertex& a, const Vertex& b, const Vertex& c) {
        const std::uint32_t n = static_cast<std::uint32_t>(vertices.size());
        vertices.push_back(a);
        vertices.push_back(b);
        vertices.push_back(c);
        faces.push_back(Face{n, n + 1, n + 2});
    }
    std::size_t getTriangleCount() const { return faces.size(); }

    /// Welds vertices at equal positions (the first keeps its colour and
    /// u, v), then splits the faces into pieces connected across edges,
    /// numbered by their lowest face. Each piece's vertices are renumbered
    /// in first-use order. Empties the soup.
    std::vector<Piece> finish();

    /// Finishes the soup and adds one object per piece to `root`, pivot at
    /// the piece's centre, "castShadows" false and "material" `material`.
    void addObjects(ObjectGroup& root, IObjectFactory& factory, const std::string& material);

private:
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
};

} // namespace Kiln
