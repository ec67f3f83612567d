#include "functions/resolution/ReduceMeshFunction.h"

#include "functions/FunctionRegistration.h"
#include "geometry/ReductionPass.h"
#include "mesh/MeshGraph.h"

MORVEL_REGISTER_FUNCTION(ReduceMeshFunction);

ReduceMeshFunction::ReduceMeshFunction(FunctionContext& context)
    : MeshBrushFunction(context, "ReduceMeshFunction", FunctionText::id(244), FunctionText::id(246),
                        "ReduceMesh Processing ...", "ReduceMeshing the Object ...") {}

void ReduceMeshFunction::beginPasses(Kiln::DynamicMesh& mesh) {
    start = &mesh;
    graph = &mesh.getGraph();
    flags = Kiln::initialVertexFlags(mesh, *graph);
    isCandidate.assign(mesh.getVertexCount(), 0);
    candidates.clear();
    grid.build(mesh.getVertices(), typicalBrushCell(mesh));
}

bool ReduceMeshFunction::growCandidates(const Ogre::Matrix4& world, const ResolutionBrush& brush) {
    const LocalSphere local = toLocal(brush);
    found.clear();
    grid.query(start->getVertices(), local.centre, local.radius, found);
    const float r2 = brush.radius * brush.radius;
    const std::size_t before = candidates.size();
    for (const std::uint32_t v : found) {
        // On the sphere is outside: the brush takes vertices strictly within.
        if (isCandidate[v] || !((world * start->getVertices()[v].position).squaredDistance(brush.centre) < r2))
            continue;
        isCandidate[v] = 1;
        candidates.push_back(v);
    }
    return candidates.size() > before;
}

void ReduceMeshFunction::takeEverything() {
    candidates.resize(start->getVertexCount());
    for (std::uint32_t v = 0; v < candidates.size(); ++v) {
        candidates[v] = v;
        isCandidate[v] = 1;
    }
}

void ReduceMeshFunction::runPass(Kiln::DynamicMesh& target) {
    // The target keeps the starting vertices during a stroke; its faces are
    // the pass's working faces, borrowed for the pass without a copy.
    std::vector<Kiln::Face> faces;
    target.swapFaces(faces);
    Kiln::reductionPassInPlace(*start, *graph, candidates, flags, start->getVertices(), faces);
    target.swapFaces(faces);
}

void ReduceMeshFunction::cleanUp(Kiln::DynamicMesh& target) {
    std::vector<Kiln::Vertex> vertices;
    std::vector<Kiln::Face> faces;
    target.swapVertices(vertices);
    target.swapFaces(faces);
    Kiln::finishReduction(vertices, faces);
    target.swapFaces(faces);
    target.swapVertices(vertices);
}

void ReduceMeshFunction::endPasses() {
    start = nullptr;
    graph = nullptr;
    grid = VertexGrid();
    std::vector<std::uint8_t>().swap(flags);
    std::vector<std::uint8_t>().swap(isCandidate);
    candidates.clear();
}
