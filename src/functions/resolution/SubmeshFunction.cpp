#include "functions/resolution/SubmeshFunction.h"

#include "functions/FunctionRegistration.h"
#include "geometry/MeshCleanup.h"
#include "geometry/SubdivisionPass.h"

MORVEL_REGISTER_FUNCTION(SubmeshFunction);

SubmeshFunction::SubmeshFunction(FunctionContext& context)
    : MeshBrushFunction(context, "SubmeshFunction", FunctionText::id(348), FunctionText::id(350),
                        "Submesh Processing ...", "Submeshing the Object ...") {}

void SubmeshFunction::beginPasses(Kiln::DynamicMesh& mesh) {
    start = &mesh;
    edges = Kiln::edgeList(mesh, mesh.getGraph());
    const std::vector<Kiln::Vertex>& vertices = mesh.getVertices();
    midpoints.resize(edges.size());
    for (std::size_t e = 0; e < edges.size(); ++e)
        midpoints[e].position = (vertices[edges[e].vertexA].position + vertices[edges[e].vertexB].position) * 0.5f;
    grid.build(midpoints, typicalBrushCell(mesh));
    isCandidate.assign(edges.size(), 0);
    candidates.clear();
}

bool SubmeshFunction::growCandidates(const Ogre::Matrix4& world, const ResolutionBrush& brush) {
    const LocalSphere local = toLocal(brush);
    found.clear();
    // A little wider than the brush, so that the inclusive world test below
    // decides for edges right on the sphere.
    grid.query(midpoints, local.centre, local.radius * 1.0001f, found);
    const float r2 = brush.radius * brush.radius;
    const std::size_t before = candidates.size();
    for (const std::uint32_t e : found) {
        if (isCandidate[e] || !((world * midpoints[e].position).squaredDistance(brush.centre) <= r2))
            continue;
        isCandidate[e] = 1;
        candidates.push_back(edges[e]);
    }
    return candidates.size() > before;
}

void SubmeshFunction::takeEverything() {
    candidates = edges;
    isCandidate.assign(edges.size(), 1);
}

void SubmeshFunction::runPass(Kiln::DynamicMesh& target) {
    // Back to the starting mesh: new vertices and faces sit past the
    // starting counts, and only the faces of candidate edges were rewritten.
    std::vector<Kiln::Vertex> vertices;
    std::vector<Kiln::Face> faces;
    target.swapVertices(vertices);
    target.swapFaces(faces);
    vertices.resize(start->getVertexCount());
    faces.resize(start->getFaceCount());
    const std::vector<Kiln::Face>& startFaces = start->getFaces();
    for (const Kiln::EdgeRecord& e : candidates) {
        faces[e.face0] = startFaces[e.face0];
        faces[e.face1] = startFaces[e.face1];
    }
    Kiln::subdivisionPass(candidates, vertices, faces);
    target.swapFaces(faces);
    target.swapVertices(vertices);
}

void SubmeshFunction::cleanUp(Kiln::DynamicMesh& target) { Kiln::cleanUpMesh(target); }

void SubmeshFunction::endPasses() {
    start = nullptr;
    std::vector<Kiln::EdgeRecord>().swap(edges);
    std::vector<Kiln::Vertex>().swap(midpoints);
    grid = VertexGrid();
    std::vector<std::uint8_t>().swap(isCandidate);
    candidates.clear();
}
