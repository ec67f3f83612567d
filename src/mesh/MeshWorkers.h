#pragma once
// In-place editors for a mesh's lists, applied through
// DynamicMesh::applyVertexWorker / applyFaceWorker so that the mesh advances
// its revision counters after the edit.
#include "mesh/Vertex.h"

#include <vector>

namespace Kiln {

class VertexListWorker {
public:
    virtual ~VertexListWorker() = default;
    /// Edits the vertex list in place.
    virtual void operator()(std::vector<Vertex>& vertices) = 0;
};

class FaceListWorker {
public:
    virtual ~FaceListWorker() = default;
    /// Edits the face list in place.
    virtual void operator()(std::vector<Face>& faces) = 0;
};

} // namespace Kiln
