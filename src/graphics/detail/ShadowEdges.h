#pragma once
// Edge lists for stencil shadow volumes, built from the mesh's own vertex
// and face lists, so that the write-only hardware buffers are never read
// back and a moved vertex costs only a face normal update.
#include "mesh/DynamicMesh.h"

#include <OgreEdgeListBuilder.h>

#include <cstddef>
#include <memory>
#include <vector>

namespace Kiln {

/// The most vertices a mesh may have and still cast a stencil shadow: the
/// engine writes shadow volume indices as 16 bits and counts every vertex
/// twice (as it is and extruded away from the light).
constexpr std::size_t kMaxShadowVolumeVertices = 32768;

/// The edge list of `faces` over `vertices` as one vertex set drawn from
/// `vertexData`. Vertices at the same position are joined, so that seams
/// between vertices split for colour or texture do not open the volume.
/// Faces pointing outside the list or with two corners at one position are
/// left out. An edge shared by more than two faces is paired up face by
/// face, so non-manifold meshes (a two-sided sheet) still give a list.
/// Null when no face remains.
std::unique_ptr<Ogre::EdgeData> buildShadowEdges(const std::vector<Vertex>& vertices,
                                                 const std::vector<Face>& faces,
                                                 const Ogre::VertexData* vertexData);

/// Recomputes the face normals of `edges` after the vertices moved; the
/// vertex list must be the one the edges were built from, or one of the
/// same length.
void updateShadowFaceNormals(Ogre::EdgeData& edges, const std::vector<Vertex>& vertices);

} // namespace Kiln
