#include "geometry/VertexFaceIndex.h"

#include <algorithm>

namespace Kiln {

VertexFaceIndex::VertexFaceIndex(const std::vector<Face>& faceList, std::size_t vertexCount) : faces(&faceList) {
    // Counting sort of corners by vertex keeps each vertex's faces in face order.
    offsets.assign(vertexCount + 1, 0);
    for (const Face& face : faceList)
        for (int k = 0; k < 3; ++k)
            if (face[k] < vertexCount)
                ++offsets[face[k] + 1];
    for (std::size_t v = 0; v < vertexCount; ++v)
        offsets[v + 1] += offsets[v];
    cornerFaces.resize(offsets[vertexCount]);
    std::vector<std::uint32_t> fill(offsets.begin(), offsets.end() - 1);
    for (std::uint32_t f = 0; f < faceList.size(); ++f)
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t v = faceList[f][k];
            if (v < vertexCount)
                cornerFaces[fill[v]++] = f;
        }
}

MeshGraph::FaceRange VertexFaceIndex::facesAround(std::uint32_t vertex) const {
    if (vertex >= getVertexCount())
        return {};
    const std::uint32_t* base = cornerFaces.data();
    return {base + offsets[vertex], base + offsets[vertex + 1]};
}

std::uint32_t VertexFaceIndex::faceWithEdge(std::uint32_t a, std::uint32_t b) const {
    for (const std::uint32_t f : facesAround(a)) {
        const Face& face = (*faces)[f];
        for (int k = 0; k < 3; ++k)
            if (face[k] == a && face[(k + 1) % 3] == b)
                return f;
    }
    return MeshGraph::noFace;
}

bool VertexFaceIndex::isOnBorder(std::uint32_t vertex) const {
    // Every face holding an edge at `vertex` is itself around `vertex`.
    for (const std::uint32_t f : facesAround(vertex)) {
        const Face& face = (*faces)[f];
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = face[k], b = face[(k + 1) % 3];
            if ((a == vertex || b == vertex) && faceWithEdge(b, a) == MeshGraph::noFace)
                return true;
        }
    }
    return false;
}

void VertexFaceIndex::neighbours(std::uint32_t vertex, std::vector<std::uint32_t>& out) const {
    out.clear();
    for (const std::uint32_t f : facesAround(vertex))
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t w = (*faces)[f][k];
            if (w != vertex && std::find(out.begin(), out.end(), w) == out.end())
                out.push_back(w);
        }
}

} // namespace Kiln
