#include "mesh/DynamicMesh.h"

#include "log/Exception.h"
#include "mesh/MeshGraph.h"

#include <atomic>
#include <stdexcept>
#include <utility>

namespace Kiln {

namespace {

void checkLengths(std::size_t vertexCount, std::size_t faceCount) {
    if (vertexCount > DynamicMesh::maxVertices || faceCount > DynamicMesh::maxFaces)
        throw std::length_error("vector<T> too long");
}

std::uint64_t nextSerial() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

} // namespace

DynamicMesh::DynamicMesh() : serial(nextSerial()) {}

DynamicMesh::DynamicMesh(std::vector<Vertex> vertices_, std::vector<Face> faces_)
    : vertices(std::move(vertices_)), faces(std::move(faces_)), serial(nextSerial()) {
    checkLengths(vertices.size(), faces.size());
}

DynamicMesh::~DynamicMesh() = default;

std::unique_ptr<DynamicMesh> DynamicMesh::clone() const {
    auto copy = std::make_unique<DynamicMesh>(vertices, faces);
    copy->positionRevision = 1;
    copy->topologyRevision = 1;
    if (graph) {
        copy->graph = std::make_unique<MeshGraph>(*graph, *copy);
        // A graph that matched these faces matches the copy's: keep it
        // current so that the first getGraph() uses it instead of
        // building another.
        if (graphTopology >= topologyRevision)
            copy->graphTopology = copy->topologyRevision;
    }
    return copy;
}

Vertex& DynamicMesh::getVertex(std::size_t index) {
    if (index >= vertices.size())
        throw Exception(ErrorCode::InvalidValue, "Vertex index out of range.", "DynamicMesh::getVertex() const");
    return vertices[index];
}

const Vertex& DynamicMesh::getVertex(std::size_t index) const {
    return const_cast<DynamicMesh*>(this)->getVertex(index);
}

void DynamicMesh::setVertex(Vertex& target, const Vertex& value) {
    const Vertex* first = vertices.data();
    if (&target < first || &target >= first + vertices.size())
        throw Exception(ErrorCode::InvalidValue, "Vertex does not belong to this mesh.",
                        "DynamicMesh::setVertex(const Vertex&, const Vertex&)");
    const bool positionChanged = target.position != value.position;
    const bool colourChanged = target.colour != value.colour;
    target = value;
    if (positionChanged)
        ++positionRevision;
    if (colourChanged)
        ++colourRevision;
}

void DynamicMesh::setVertices(std::vector<Vertex> newVertices) {
    checkLengths(newVertices.size(), 0);
    vertices = std::move(newVertices);
    ++positionRevision;
    ++colourRevision;
}

void DynamicMesh::setFaces(std::vector<Face> newFaces) {
    checkLengths(0, newFaces.size());
    faces = std::move(newFaces);
    ++topologyRevision;
}

void DynamicMesh::swapVertices(std::vector<Vertex>& other) {
    checkLengths(other.size(), 0);
    vertices.swap(other);
    ++positionRevision;
    ++colourRevision;
}

void DynamicMesh::swapFaces(std::vector<Face>& other) {
    checkLengths(0, other.size());
    faces.swap(other);
    ++topologyRevision;
}

void DynamicMesh::applyVertexWorker(VertexListWorker& worker) {
    worker(vertices);
    ++positionRevision;
    ++colourRevision;
}

void DynamicMesh::applyFaceWorker(FaceListWorker& worker) {
    worker(faces);
    ++topologyRevision;
}

MeshGraph& DynamicMesh::getGraph() {
    if (graph && topologyRevision <= graphTopology)
        return *graph;
    graph = std::make_unique<MeshGraph>(*this);
    graphRevision = topologyRevision;
    graphTopology = topologyRevision;
    return *graph;
}

} // namespace Kiln
