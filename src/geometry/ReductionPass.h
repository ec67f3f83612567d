#pragma once
// Mesh reduction by collapsing vertices onto neighbours. A pass always
// starts again from the stroke's starting mesh, so its result depends only
// on the set of candidate vertices.
#include "mesh/DynamicMesh.h"
#include "geometry/VertexFaceIndex.h"

#include <cstdint>
#include <vector>

namespace Kiln {

/// A vertex's state in a stroke. Whether a vertex lies on a border is
/// only worked out when a pass first looks at it, so that starting a stroke
/// costs nothing per vertex beyond one byte.
enum VertexFlag : std::uint8_t { VertexFree = 0, VertexLocked = 1, VertexRemoved = 2, VertexUnchecked = 3 };

/// Flags for a stroke's start: every vertex unchecked.
std::vector<std::uint8_t> freshVertexFlags(std::size_t vertexCount);

/// One reduction pass over `candidates` (vertex indices of the stroke's
/// starting mesh: `startVertices` and the faces `index` was built on).
/// Copies the mesh into `vertices` and `faces` and collapses candidates
/// there: smallest one-ring first, each onto its nearest free neighbour whose
/// collapse turns no remaining face around it over and keeps the surface
/// manifold (the link condition: a closed mesh stays closed and manifold).
/// Border vertices are locked and never move. Collapsed vertices get
/// VertexRemoved; faces that lose an edge stay in place, degenerate, for
/// finishReduction.
void reductionPass(const std::vector<Vertex>& startVertices, const VertexFaceIndex& index,
                   const std::vector<std::uint32_t>& candidates, std::vector<std::uint8_t>& flags,
                   std::vector<Vertex>& vertices, std::vector<Face>& faces);

/// The same pass on arrays the caller keeps between passes of one stroke:
/// `faces` holds the starting mesh's faces except around earlier candidates
/// (every earlier candidate must be in `candidates` again), `vertices` the
/// starting mesh's vertices. Only faces around the candidates are touched,
/// so a pass costs the brushed region, not the mesh. The result equals
/// reductionPass's.
void reductionPassInPlace(const VertexFaceIndex& index, const std::vector<std::uint32_t>& candidates,
                          std::vector<std::uint8_t>& flags, const std::vector<Vertex>& vertices,
                          std::vector<Face>& faces);

/// The stroke-end clean-up after passes over `candidates` (`index` and
/// `flags` as in those passes): removes the faces the collapses left
/// degenerate (only faces around candidates can be), moving the last face
/// into each gap, and the collapsed vertices, keeping the order of the
/// others and renumbering the faces. Costs the candidates' faces plus one
/// renumbering sweep when a vertex went.
void finishReduction(const VertexFaceIndex& index, const std::vector<std::uint32_t>& candidates,
                     const std::vector<std::uint8_t>& flags, std::vector<Vertex>& vertices, std::vector<Face>& faces);

/// The whole-object operation: every vertex a candidate, one pass, the
/// clean-up, and the result set on the mesh.
void reduceWholeMesh(DynamicMesh& mesh);

} // namespace Kiln
