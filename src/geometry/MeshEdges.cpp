#include "geometry/MeshEdges.h"

#include <algorithm>

namespace Kiln {

std::vector<EdgeRecord> edgeList(const DynamicMesh& mesh, const MeshGraph& graph) {
    std::vector<EdgeRecord> edges;
    const std::vector<Face>& faces = mesh.getFaces();
    edges.reserve(faces.size() * 3 / 2 + 1);
    for (std::uint32_t f = 0; f < faces.size(); ++f)
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = faces[f][k], b = faces[f][(k + 1) % 3];
            const std::uint32_t g = graph.getEdgeFace(b, a);
            if (g == MeshGraph::noFace)
                edges.push_back({f, f, a, b});
            else if (a < b)
                edges.push_back({f, g, a, b});
        }
    return edges;
}

void verticesAroundVertex(const DynamicMesh& mesh, const MeshGraph& graph, std::uint32_t v,
                          std::vector<std::uint32_t>& out) {
    out.clear();
    const std::vector<Face>& faces = mesh.getFaces();
    for (const std::uint32_t f : graph.getVertexFaces(v))
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t w = faces[f][k];
            if (w != v && std::find(out.begin(), out.end(), w) == out.end())
                out.push_back(w);
        }
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
