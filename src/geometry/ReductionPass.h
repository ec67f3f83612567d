#pragma once
// Mesh reduction by collapsing vertices onto neighbours. A pass always
// starts again from the stroke's starting mesh, so its result depends only
// on the set of candidate vertices.
#include "mesh/DynamicMesh.h"
#include "mesh/MeshGraph.h"

#include <cstdint>
#include <vector>

namespace Kiln {

enum VertexFlag : std::uint8_t { VertexFree = 0, VertexLocked = 1, VertexRemoved = 2 };

/// One flag per vertex: boundary vertices locked, all others free.
std::vector<std::uint8_t> initialVertexFlags(const DynamicMesh& mesh, const MeshGraph& graph);

/// One reduction pass over `candidates` (vertex indices of `mesh`, the
/// stroke's starting mesh, whose graph is `graph`). Copies the mesh into
/// `vertices` and `faces` and collapses candidates there: smallest one-ring
/// first, each onto its nearest free neighbour whose collapse turns no
/// remaining face around it over and keeps the surface manifold (the link
/// condition: a closed mesh stays closed and manifold). Collapsed vertices get VertexRemoved;
/// faces that lose an edge stay in place, degenerate, for finishReduction.
void reductionPass(const DynamicMesh& mesh, const MeshGraph& graph, const std::vector<std::uint32_t>& candidates,
                   std::vector<std::uint8_t>& flags, std::vector<Vertex>& vertices, std::vector<Face>& faces);

/// The same pass on arrays the caller keeps between passes of one stroke:
/// `faces` holds the starting mesh's faces except around earlier candidates
/// (every earlier candidate must be in `candidates` again), `vertices` the
/// starting mesh's vertices. Only faces around the candidates are touched,
/// so a pass costs the brushed region, not the mesh. The result equals
/// reductionPass's.
void reductionPassInPlace(const DynamicMesh& mesh, const MeshGraph& graph, const std::vector<std::uint32_t>& candidates,
                          std::vector<std::uint8_t>& flags, const std::vector<Vertex>& vertices,
                          std::vector<Face>& faces);

/// The collapses of one pass on prepared arrays (the core of both passes).
void collapseCandidates(const DynamicMesh& mesh, const MeshGraph& graph, const std::vector<std::uint32_t>& candidates,
                        std::vector<std::uint8_t>& flags, const std::vector<Vertex>& vertices,
                        std::vector<Face>& faces);

/// The stroke-end clean-up: removes faces with two equal corners (moving
/// the last face into each gap) and vertices no face uses, renumbering the
/// faces and keeping the order of the remaining vertices.
void finishReduction(std::vector<Vertex>& vertices, std::vector<Face>& faces);

/// The whole-object operation: every vertex a candidate, one pass, the
/// clean-up, and the result set on the mesh.
void reduceWholeMesh(DynamicMesh& mesh);

} // namespace Kiln
