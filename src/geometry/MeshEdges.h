#pragma once
// Edge queries over a mesh and its connectivity graph, used by the
// reduction and subdivision passes.
#include "mesh/DynamicMesh.h"
#include "mesh/MeshGraph.h"

#include <cstdint>
#include <vector>

namespace Kiln {

/// An undirected edge with the faces on its two sides; face0 == face1
/// marks a boundary edge.
struct EdgeRecord {
    std::uint32_t face0;
    std::uint32_t face1;
    std::uint32_t vertexA;
    std::uint32_t vertexB;
};

/// Every undirected edge once, in face order: a directed edge (a, b) of face
/// f with no reverse edge gives {f, f, a, b}; otherwise, when a < b, it
/// gives {f, g, a, b} with g the face holding (b, a).
std::vector<EdgeRecord> edgeList(const DynamicMesh& mesh, const MeshGraph& graph);

/// The distinct neighbours of v over the faces around it, in the order met.
void verticesAroundVertex(const DynamicMesh& mesh, const MeshGraph& graph, std::uint32_t v,
                          std::vector<std::uint32_t>& out);

/// 0 when {a, b} are the face's corners 0 and 1, 1 for corners 1 and 2, 2
/// for corners 2 and 0, -1 when the edge is not in the face.
int edgeSlot(const Face& face, std::uint32_t a, std::uint32_t b);

} // namespace Kiln
