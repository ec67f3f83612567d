#pragma once
// Smooth per-vertex normals for meshes whose vertex records carry none.
#include "mesh/Vertex.h"

#include <vector>

namespace Kiln {

/// Writes one unit normal per vertex into `normals` (resized to match),
/// the sum of the adjacent faces' normals weighted by their area. Vertices
/// without faces, or only degenerate ones, get +Y. Faces with an index
/// outside the vertex list are skipped.
void computeVertexNormals(const std::vector<Vertex>& vertices, const std::vector<Face>& faces,
                          std::vector<Ogre::Vector3>& normals);

} // namespace Kiln
