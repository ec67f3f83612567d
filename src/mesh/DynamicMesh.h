#pragma once
// The indexed triangle mesh every object owns. Viewers (graphics, haptics)
// compare revision counters to see what changed since they last looked.
#include "mesh/MeshWorkers.h"
#include "mesh/Vertex.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Kiln {

class MeshGraph;

class DynamicMesh {
public:
    /// Largest vertex and face counts; longer lists raise
    /// std::length_error("vector<T> too long").
    static constexpr std::size_t maxVertices = 119304647;
    static constexpr std::size_t maxFaces = 357913941;

    /// An empty mesh: all counters 0, no graph.
    DynamicMesh();
    /// A mesh over the given lists; counters start at 0. Faces are not
    /// checked against the vertex count (readers validate before building).
    DynamicMesh(std::vector<Vertex> vertices, std::vector<Face> faces);
    ~DynamicMesh();

    DynamicMesh(const DynamicMesh&) = delete;
    DynamicMesh& operator=(const DynamicMesh&) = delete;

    /// Equal lists, positionRevision 1, colourRevision 0, topologyRevision 1,
    /// graphRevision 0, and a copy of the graph when this mesh has one. A
    /// copied graph that was current stays current: getGraph() returns it
    /// without a rebuild (graphRevision stays 0 until the faces change).
    std::unique_ptr<DynamicMesh> clone() const;

    const std::vector<Vertex>& getVertices() const { return vertices; }
    const std::vector<Face>& getFaces() const { return faces; }
    std::size_t getVertexCount() const { return vertices.size(); }
    std::size_t getFaceCount() const { return faces.size(); }

    /// Throws Kiln::Exception (code 3) when index is out of range. Writing
    /// through the reference bypasses the counters: prefer setVertex.
    Vertex& getVertex(std::size_t index);
    const Vertex& getVertex(std::size_t index) const;

    /// Copies value into target, an element of this mesh (else throws,
    /// code 3). Advances positionRevision when the position changed and
    /// colourRevision when the colour changed; u and v are copied without
    /// advancing a counter.
    void setVertex(Vertex& target, const Vertex& value);

    /// Replace a list; vertices advance position and colour revisions,
    /// faces advance the topology revision.
    void setVertices(std::vector<Vertex> newVertices);
    void setFaces(std::vector<Face> newFaces);
    /// Exchange a list with the caller's (no copy), advancing like the setters.
    void swapVertices(std::vector<Vertex>& other);
    void swapFaces(std::vector<Face>& other);

    void applyVertexWorker(VertexListWorker& worker);
    void applyFaceWorker(FaceListWorker& worker);

    /// The connectivity graph, rebuilt when the faces changed since it was
    /// built. A reference taken earlier dies at the next rebuild.
    MeshGraph& getGraph();
    bool hasGraph() const { return graph != nullptr; }

    std::uint32_t getPositionRevision() const { return positionRevision; }
    std::uint32_t getColourRevision() const { return colourRevision; }
    std::uint32_t getTopologyRevision() const { return topologyRevision; }
    std::uint32_t getGraphRevision() const { return graphRevision; }
    /// Unique among all meshes of this process, clones included: viewers
    /// that cache something per mesh key on it, because a freed mesh's
    /// address, and its revisions, may come back on a new one.
    std::uint64_t getSerial() const { return serial; }

private:
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    std::uint32_t positionRevision = 0;
    std::uint32_t colourRevision = 0;
    std::uint32_t topologyRevision = 0;
    std::uint32_t graphRevision = 0; ///< topologyRevision when this mesh last built its graph
    std::uint32_t graphTopology = 0; ///< topologyRevision the held graph matches
    std::unique_ptr<MeshGraph> graph;
    std::uint64_t serial;
};

} // namespace Kiln
