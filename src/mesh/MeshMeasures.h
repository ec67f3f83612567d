#pragma once
// Whole-mesh measures used by `morvel-cli info`, the file tests and the
// geometry kernels' tests, and the position weld the readers share.
#include "mesh/DynamicMesh.h"
#include "mesh/MeshArrays.h"

#include <OgreAxisAlignedBox.h>
#include <OgreMatrix4.h>

namespace Kiln {

/// True when, after merging vertices at equal positions, every directed
/// edge is matched by as many reversed edges (watertight; non-manifold
/// edges allowed). A mesh without faces is closed; a face index out of
/// range makes a mesh open.
bool isClosed(const DynamicMesh& mesh);
bool isClosed(const MeshArrays& mesh);

/// Signed volume enclosed by the faces after applying `transform` (positive
/// for a closed mesh wound outwards). Summed in double precision; faces
/// with an index out of range are left out.
double signedVolume(const DynamicMesh& mesh, const Ogre::Matrix4& transform = Ogre::Matrix4::IDENTITY);
double signedVolume(const MeshArrays& mesh);

/// Bounds of the transformed vertex positions (null box for no vertices).
Ogre::AxisAlignedBox bounds(const DynamicMesh& mesh,
                            const Ogre::Matrix4& transform = Ogre::Matrix4::IDENTITY);

/// For each vertex, the index of the first vertex at the same position
/// (compared with ==, so +0 and -0 are equal and a NaN coordinate never
/// welds). Readers, the measures and the Boolean kernel use it to weld.
std::vector<std::uint32_t> weldByPosition(const std::vector<Vertex>& vertices);
/// The same over `vertexCount` positions of 3 doubles each.
std::vector<std::uint32_t> weldByPosition(const double* positions, std::size_t vertexCount);

} // namespace Kiln
