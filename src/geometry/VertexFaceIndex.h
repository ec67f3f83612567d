#pragma once
// Which faces use each vertex, in flat arrays built by one counting pass over
// the faces. This is all the brush tools need of a mesh's connectivity: edges
// are found around a vertex when asked, so a stroke on a million triangles
// does not first hash every edge of the mesh.
#include "mesh/MeshGraph.h"
#include "mesh/Vertex.h"

#include <cstdint>
#include <vector>

namespace Kiln {

class VertexFaceIndex {
public:
    VertexFaceIndex() = default;
    /// Indexes `faces`, which must outlive the index and stay unchanged.
    /// Corners at or beyond `vertexCount` are left out.
    VertexFaceIndex(const std::vector<Face>& faces, std::size_t vertexCount);

    const std::vector<Face>& getFaces() const { return *faces; }
    std::size_t getVertexCount() const { return offsets.empty() ? 0 : offsets.size() - 1; }

    /// Faces using `vertex`, in face order, one entry per corner.
    MeshGraph::FaceRange facesAround(std::uint32_t vertex) const;
    /// The first face in face order holding the directed edge (a, b), or
    /// MeshGraph::noFace. Costs the number of faces around `a`.
    std::uint32_t faceWithEdge(std::uint32_t a, std::uint32_t b) const;
    /// Whether an edge at `vertex` is held by faces in one direction only.
    bool isOnBorder(std::uint32_t vertex) const;
    /// The distinct other corners of the faces around `vertex`, in the order met.
    void neighbours(std::uint32_t vertex, std::vector<std::uint32_t>& out) const;

private:
    const std::vector<Face>* faces = nullptr;
    // Vertex v owns cornerFaces[offsets[v] .. offsets[v + 1]).
    std::vector<std::uint32_t> offsets;
    std::vector<std::uint32_t> cornerFaces;
};

} // namespace Kiln
