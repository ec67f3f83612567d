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

/// The whole-object operation: every edge split once.
void subdivideWholeMesh(DynamicMesh& mesh);

} // namespace Kiln
