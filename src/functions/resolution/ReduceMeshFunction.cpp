#include "functions/resolution/ReduceMeshFunction.h"

#include "functions/FunctionRegistration.h"
#include "geometry/ReductionPass.h"

#include <algorithm>

MORVEL_REGISTER_FUNCTION(ReduceMeshFunction);

ReduceMeshFunction::ReduceMeshFunction(FunctionContext& context)
    : MeshBrushFunction(context, "ReduceMeshFunction", FunctionText::id(244), FunctionText::id(246),
                        "ReduceMesh Processing ...", "ReduceMeshing the Object ...") {}

void ReduceMeshFunction::beginPasses(const std::vector<Kiln::Vertex>& vertices, const StrokeStart& start) {
    startVertices = &vertices;
    adjacency = &start.getIndex();
    grid = &start.getGrid();
    flags = Kiln::freshVertexFlags(vertices.size());
    isCandidate.assign(vertices.size(), 0);
    candidates.clear();
}

bool ReduceMeshFunction::growCandidates(const Ogre::Matrix4& world, const ResolutionBrush& brush) {
    const LocalSphere local = toLocal(brush);
    found.clear();
    grid->query(*startVertices, local.centre, local.radius, found);
    const float r2 = brush.radius * brush.radius;
    const std::size_t before = candidates.size();
    for (const std::uint32_t v : found) {
        // On the sphere is outside: the brush takes vertices strictly within.
        if (isCandidate[v] || !((world * (*startVertices)[v].position).squaredDistance(brush.centre) < r2))
            continue;
        isCandidate[v] = 1;
        candidates.push_back(v);
    }
    return candidates.size() > before;
}

void ReduceMeshFunction::takeEverything() {
    candidates.resize(startVertices->size());
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
    Kiln::reductionPassInPlace(*adjacency, candidates, flags, *startVertices, faces);
    target.swapFaces(faces);
}

void ReduceMeshFunction::cleanUp(Kiln::DynamicMesh& target, MeshArraysState& record) {
    std::vector<std::uint32_t> removed;
    for (const std::uint32_t v : candidates)
        if (flags[v] == Kiln::VertexRemoved)
            removed.push_back(v);
    std::sort(removed.begin(), removed.end());
    record.recordRemovedVertices(target, std::move(removed));
    std::vector<Kiln::Vertex> vertices;
    std::vector<Kiln::Face> faces;
    target.swapVertices(vertices);
    target.swapFaces(faces);
    Kiln::finishReduction(*adjacency, candidates, flags, vertices, faces);
    target.swapFaces(faces);
    target.swapVertices(vertices);
}

void ReduceMeshFunction::endPasses() {
    startVertices = nullptr;
    adjacency = nullptr;
    grid = nullptr;
    std::vector<std::uint8_t>().swap(flags);
    std::vector<std::uint8_t>().swap(isCandidate);
    candidates.clear();
}
