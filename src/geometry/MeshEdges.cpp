#include "geometry/MeshEdges.h"

#include <algorithm>

namespace Kiln {

std::vector<EdgeRecord> edgeList(const VertexFaceIndex& index) {
    std::vector<EdgeRecord> edges;
    const std::vector<Face>& faces = index.getFaces();
    edges.reserve(faces.size() * 3 / 2 + 1);
    for (std::uint32_t f = 0; f < faces.size(); ++f)
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = faces[f][k], b = faces[f][(k + 1) % 3];
            const std::uint32_t g = index.faceWithEdge(b, a);
            if (g == MeshGraph::noFace)
                edges.push_back({f, f, a, b});
            else if (a < b)
                edges.push_back({f, g, a, b});
        }
    return edges;
}

EdgeRecord edgeOfFace(const VertexFaceIndex& index, std::uint32_t face, int k) {
    const Face& corners = index.getFaces()[face];
    const std::uint32_t a = corners[k], b = corners[(k + 1) % 3];
    if (index.faceWithEdge(b, a) == MeshGraph::noFace)
        return {face, face, a, b};
    const std::uint32_t low = std::min(a, b), high = std::max(a, b);
    return {index.faceWithEdge(low, high), index.faceWithEdge(high, low), low, high};
}

int edgeSlot(const Face& face, std::uint32_t a, std::uint32_t b) {
    for (int k = 0; k < 3; ++k) {
        const std::uint32_t p = face[k], q = face[(k + 1) % 3];
        if ((p == a && q == b) || (p == b && q == a))
            return k;
    }
    return -1;
}

} // namespace Kiln
