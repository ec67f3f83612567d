#pragma once
// Which faces meet at each vertex and across each edge. Built by
// DynamicMesh::getGraph from the face list; it does not follow later edits.
#include "mesh/Vertex.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace Kiln {

class DynamicMesh;

class MeshGraph {
public:
    static constexpr std::uint32_t noFace = 0xffffffffu;

    /// A read-only run of face indices.
    struct FaceRange {
        const std::uint32_t* first = nullptr;
        const std::uint32_t* last = nullptr;
        const std::uint32_t* begin() const { return first; }
        const std::uint32_t* end() const { return last; }
        std::size_t size() const { return static_cast<std::size_t>(last - first); }
        bool empty() const { return first == last; }
    };

    /// Builds the tables from the mesh's faces; logs on the "mesh" channel.
    explicit MeshGraph(DynamicMesh& mesh);
    /// A copy of `other`'s tables that refers to `mesh` instead.
    MeshGraph(const MeshGraph& other, DynamicMesh& mesh);

    MeshGraph(const MeshGraph&) = delete;
    MeshGraph& operator=(const MeshGraph&) = delete;

    /// The face holding the directed edge (a, b), or noFace. When several
    /// faces hold it (a non-manifold mesh) the first one in face order wins.
    std::uint32_t getEdgeFace(std::uint32_t a, std::uint32_t b) const;
    /// The face across the edge from corner `k` to corner `k + 1` of `face`,
    /// i.e. the one holding the reversed edge, or noFace on a border.
    std::uint32_t getNeighbour(std::uint32_t face, int k) const;
    /// Faces using `vertex`, in face order, one entry per corner.
    FaceRange getVertexFaces(std::uint32_t vertex) const;

    std::size_t getEdgeCount() const { return edgeFaces.size(); }
    std::size_t getVertexCount() const;
    const DynamicMesh& getMesh() const { return *mesh; }

private:
    static std::uint64_t edgeKey(std::uint32_t a, std::uint32_t b) {
        return (static_cast<std::uint64_t>(a) << 32) | b;
    }
    void build();

    DynamicMesh* mesh;
    const std::vector<Face>* faces;
    std::unordered_map<std::uint64_t, std::uint32_t> edgeFaces;
    // Per-vertex face lists stored flat: vertex v owns
    // cornerFaces[cornerOffsets[v] .. cornerOffsets[v + 1]).
    std::vector<std::uint32_t> cornerOffsets;
    std::vector<std::uint32_t> cornerFaces;
};

} // namespace Kiln
