#include "functions/resolution/SubmeshFunction.h"

#include "functions/FunctionRegistration.h"
#include "geometry/SubdivisionPass.h"

#include <algorithm>
#include <cmath>

MORVEL_REGISTER_FUNCTION(SubmeshFunction);

namespace {
std::uint64_t keyOf(const Kiln::EdgeRecord& edge) {
    return (std::uint64_t(edge.vertexA) << 32) | edge.vertexB;
}
} // namespace

SubmeshFunction::SubmeshFunction(FunctionContext& context)
    : MeshBrushFunction(context, "SubmeshFunction", FunctionText::id(348), FunctionText::id(350),
                        "Submesh Processing ...", "Submeshing the Object ...") {}

void SubmeshFunction::beginPasses(const std::vector<Kiln::Vertex>& vertices, const StrokeStart& start) {
    startVertices = &vertices;
    startVertexCount = vertices.size();
    adjacency = &start.getIndex();
    grid = &start.getGrid();
    longestHalfEdge = start.halfLongestEdge(vertices);
    candidateKeys.clear();
    candidates.clear();
}

bool SubmeshFunction::growCandidates(const Ogre::Matrix4& world, const ResolutionBrush& brush) {
    const LocalSphere local = toLocal(brush);
    found.clear();
    // Both ends of an edge whose midpoint is in the brush lie within half
    // the edge of it; a little more, so that the inclusive world test below
    // decides for midpoints right on the sphere.
    grid->query(*startVertices, local.centre, local.radius * 1.0001f + longestHalfEdge, found);
    const std::vector<Kiln::Face>& faces = adjacency->getFaces();
    const std::size_t before = candidates.size();
    for (const std::uint32_t v : found)
        for (const std::uint32_t f : adjacency->facesAround(v))
            for (int k = 0; k < 3; ++k)
                if (faces[f][k] == v || faces[f][(k + 1) % 3] == v)
                    addIfInside(Kiln::edgeOfFace(*adjacency, f, k), world, brush);
    return candidates.size() > before;
}

bool SubmeshFunction::addIfInside(const Kiln::EdgeRecord& edge, const Ogre::Matrix4& world,
                                  const ResolutionBrush& brush) {
    const std::vector<Kiln::Vertex>& vertices = *startVertices;
    const Ogre::Vector3 midpoint =
        vertices[edge.vertexA].position * 0.5f + vertices[edge.vertexB].position * 0.5f;
    if (!((world * midpoint).squaredDistance(brush.centre) <= brush.radius * brush.radius))
        return false;
    if (!candidateKeys.insert(keyOf(edge)).second)
        return false;
    candidates.push_back(edge);
    return true;
}

void SubmeshFunction::takeEverything() {
    candidates = Kiln::edgeList(*adjacency);
    candidateKeys.clear();
    for (const Kiln::EdgeRecord& edge : candidates)
        candidateKeys.insert(keyOf(edge));
}

void SubmeshFunction::runPass(Kiln::DynamicMesh& target) {
    // Back to the starting mesh: new vertices and faces sit past the
    // starting counts, and only the faces of candidate edges were rewritten.
    std::vector<Kiln::Vertex> vertices;
    std::vector<Kiln::Face> faces;
    target.swapVertices(vertices);
    target.swapFaces(faces);
    const std::vector<Kiln::Face>& startFaces = adjacency->getFaces();
    vertices.resize(startVertexCount);
    faces.resize(startFaces.size());
    for (const Kiln::EdgeRecord& e : candidates) {
        faces[e.face0] = startFaces[e.face0];
        faces[e.face1] = startFaces[e.face1];
    }
    Kiln::subdivisionPass(candidates, vertices, faces);
    target.swapFaces(faces);
    target.swapVertices(vertices);
}

void SubmeshFunction::cleanUp(Kiln::DynamicMesh& target, MeshArraysState& record) {
    const std::size_t startFaceCount = adjacency->getFaces().size();
    // Usually only the split faces are checked and the vertices just grow;
    // the rare whole-mesh clean-up needs the starting vertices kept whole.
    if (Kiln::subdivisionNeedsCleanUp(target, candidates, startFaceCount))
        record.recordWholeVertices(target, startVertexCount);
    Kiln::finishSubdivision(target, candidates, startFaceCount);
}

void SubmeshFunction::endPasses() {
    startVertices = nullptr;
    startVertexCount = 0;
    adjacency = nullptr;
    grid = nullptr;
    std::unordered_set<std::uint64_t>().swap(candidateKeys);
    candidates.clear();
}
