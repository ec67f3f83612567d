#pragma once
// The clean-up that finishes Boolean results and subdivision strokes.
#include "mesh/DynamicMesh.h"

namespace Kiln {

/// Snaps vertices closer than about one float step (1e-7 of their largest
/// coordinate) together, merges
/// the corners of faces that collapsed, removes degenerate and duplicate
/// faces and vertices no face uses. Swaps the edited lists into the mesh
/// (advancing its revisions) only when something changed; returns whether
/// it did.
bool cleanUpMesh(DynamicMesh& mesh);
/// The same clean-up on plain lists, edited in place.
bool cleanUpMesh(std::vector<Vertex>& vertices, std::vector<Face>& faces);

/// Whether cleanUpMesh snaps p and q together: on every axis within two
/// float steps of the larger point (1e-7 of its largest coordinate each).
bool closeEnoughToSnap(const Ogre::Vector3& p, const Ogre::Vector3& q);

/// Drops vertices no face uses, keeping the order of the others, and
/// renumbers the faces; returns whether any vertex went.
bool removeUnusedVertices(std::vector<Vertex>& vertices, std::vector<Face>& faces);

} // namespace Kiln
