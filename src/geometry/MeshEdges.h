#pragma once
// Edge queries over a mesh's faces, used by the reduction and subdivision
// passes.
#include "geometry/VertexFaceIndex.h"

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
/// gives {f, g, a, b} with g the first face holding (b, a).
std::vector<EdgeRecord> edgeList(const VertexFaceIndex& index);

/// The record of the edge from corner `k` to corner `k + 1` of `face`, as
/// edgeList gives it for a mesh whose faces each hold an edge at most once
/// per direction: {first face holding (a, b), first face holding (b, a),
/// a, b} with a < b, or {face, face, corner k, corner k + 1} on a border.
EdgeRecord edgeOfFace(const VertexFaceIndex& index, std::uint32_t face, int k);

/// 0 when {a, b} are the face's corners 0 and 1, 1 for corners 1 and 2, 2
/// for corners 2 and 0, -1 when the edge is not in the face.
int edgeSlot(const Face& face, std::uint32_t a, std::uint32_t b);

} // namespace Kiln
