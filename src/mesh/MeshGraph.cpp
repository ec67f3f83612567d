#include "mesh/MeshGraph.h"

#include "log/DebugChannel.h"
#include "mesh/DynamicMesh.h"

namespace Kiln {

MeshGraph::MeshGraph(DynamicMesh& mesh_) : mesh(&mesh_), faces(&mesh_.getFaces()) {
    build();
}

MeshGraph::MeshGraph(const MeshGraph& other, DynamicMesh& mesh_)
    : mesh(&mesh_), faces(&mesh_.getFaces()), edgeFaces(other.edgeFaces),
      cornerOffsets(other.cornerOffsets), cornerFaces(other.cornerFaces) {}

void MeshGraph::build() {
    DebugChannel& log = debugChannel("MeshGraph");
    const std::vector<Face>& faceList = *faces;
    const std::size_t vertexCount = mesh->getVertexCount();
    log << "building graph from " << vertexCount << " vertices and " << faceList.size()
        << " faces ..." << endl;

    edgeFaces.clear();
    edgeFaces.reserve(faceList.size() * 3);
    for (std::uint32_t f = 0; f < faceList.size(); ++f) {
        const Face& face = faceList[f];
        edgeFaces.emplace(edgeKey(face.i0, face.i1), f);
        edgeFaces.emplace(edgeKey(face.i1, face.i2), f);
        edgeFaces.emplace(edgeKey(face.i2, face.i0), f);
    }

    // Counting sort of corners by vertex keeps each list in face order.
    cornerOffsets.assign(vertexCount + 1, 0);
    for (const Face& face : faceList)
        for (int k = 0; k < 3; ++k)
            if (face[k] < vertexCount)
                ++cornerOffsets[face[k] + 1];
    for (std::size_t v = 0; v < vertexCount; ++v)
        cornerOffsets[v + 1] += cornerOffsets[v];
    cornerFaces.resize(cornerOffsets[vertexCount]);
    std::vector<std::uint32_t> fill(cornerOffsets.begin(), cornerOffsets.end() - 1);
    for (std::uint32_t f = 0; f < faceList.size(); ++f)
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t v = faceList[f][k];
            if (v < vertexCount)
                cornerFaces[fill[v]++] = f;
        }
    log << "done building" << endl;
}

std::uint32_t MeshGraph::getEdgeFace(std::uint32_t a, std::uint32_t b) const {
    const auto found = edgeFaces.find(edgeKey(a, b));
    return found == edgeFaces.end() ? noFace : found->second;
}

std::uint32_t MeshGraph::getNeighbour(std::uint32_t face, int k) const {
    const Face& f = (*faces)[face];
    return getEdgeFace(f[(k + 1) % 3], f[k]);
}

MeshGraph::FaceRange MeshGraph::getVertexFaces(std::uint32_t vertex) const {
    if (vertex + std::size_t(1) >= cornerOffsets.size())
        return {};
    const std::uint32_t* base = cornerFaces.data();
    return {base + cornerOffsets[vertex], base + cornerOffsets[vertex + 1]};
}

std::size_t MeshGraph::getVertexCount() const {
    return cornerOffsets.empty() ? 0 : cornerOffsets.size() - 1;
}

} // namespace Kiln
