#pragma once
// Mesh refinement by splitting edges at their midpoints.
#include "geometry/MeshEdges.h"

#include <vector>

namespace Kiln {

/// Splits each candidate edge of the arrays (a copy of the stroke's starting
/// mesh, whose edge records the candidates are) at its midpoint: the new
/// vertex averages position, colour, u and v of the edge's ends. Each face
/// touched is replaced by one, two or three sub-faces added at the end and
/// its own last sub-face moved into its place, by the fixed split patterns.
void subdivisionPass(const std::vector<EdgeRecord>& candidates, std::vector<Vertex>& vertices,
                     std::vector<Face>& faces);

/// The clean-up after a pass, limited to the faces it wrote: those of the
/// candidate edges and those it added (from `startFaceCount` on). A split
/// can only leave a face with two corners the clean-up would snap together
/// where an edge was shorter than its tolerance; only then does the whole
/// mesh go through cleanUpMesh. Returns whether it did.
bool finishSubdivision(DynamicMesh& mesh, const std::vector<EdgeRecord>& candidates, std::size_t startFaceCount);

/// Whether finishSubdivision would send the mesh through the whole-mesh
/// clean-up (which may move or drop any vertex); costs the faces written.
bool subdivisionNeedsCleanUp(const DynamicMesh& mesh, const std::vector<EdgeRecord>& candidates,
                             std::size_t startFaceCount);

/// The whole-object operation: every edge split once, then finishSubdivision.
void subdivideWholeMesh(DynamicMesh& mesh);

} // namespace Kiln
