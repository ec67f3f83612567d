#pragma once
// Whole-mesh measures used by `morvel-cli info`, the file tests and the
// geometry kernels' tests.
#include "mesh/DynamicMesh.h"

#include <OgreAxisAlignedBox.h>
#include <OgreMatrix4.h>

namespace Kiln {

/// True when, after merging vertices at equal positions, every directed
/// edge is matched by as many reversed edges (watertight; non-manifold
/// edges allowed). A mesh without faces is closed.
bool isClosed(const DynamicMesh& mesh);

/// Signed volume enclosed by the faces after applying `transform` (positive
/// for a closed mesh wound outwards). Summed in double precision.
double signedVolume(const DynamicMesh& mesh, const Ogre::Matrix4& transform = Ogre::Matrix4::IDENTITY);

/// Bounds of the transformed vertex positions (null box for no vertices).
Ogre::AxisAlignedBox bounds(const DynamicMesh& mesh,
                            const Ogre::Matrix4& transform = Ogre::Matrix4::IDENTITY);

/// For each vertex, the index of the first vertex at the same position
/// (+0 and -0 are equal). Readers and the measures use it to weld.
std::vector<std::uint32_t> weldByPosition(const std::vector<Vertex>& vertices);

} // namespace Kiln
