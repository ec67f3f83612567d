#pragma once
// The reduction brush: vertices under the brush collapse onto their nearest
// neighbour where that keeps every face's orientation and the surface
// manifold. Each frame redoes only the faces around the candidates.
#include "functions/resolution/MeshBrushFunction.h"
#include "geometry/VertexFaceIndex.h"

#include <cstdint>
#include <vector>

class ReduceMeshFunction : public MeshBrushFunction {
public:
    explicit ReduceMeshFunction(FunctionContext& context);
    std::size_t getCandidateCount() const { return candidates.size(); }

protected:
    void beginPasses(const std::vector<Kiln::Vertex>& startVertices, const StrokeStart& start) override;
    bool growCandidates(const Ogre::Matrix4& world, const ResolutionBrush& brush) override;
    void takeEverything() override;
    void runPass(Kiln::DynamicMesh& target) override;
    void cleanUp(Kiln::DynamicMesh& target, MeshArraysState& record) override;
    void endPasses() override;

private:
    /// The target's list, unchanged until the clean-up.
    const std::vector<Kiln::Vertex>* startVertices = nullptr;
    const Kiln::VertexFaceIndex* adjacency = nullptr;  ///< the stroke's start's, during a stroke
    const VertexGrid* grid = nullptr;
    std::vector<std::uint8_t> flags;
    std::vector<std::uint8_t> isCandidate;
    std::vector<std::uint32_t> candidates;
    std::vector<std::uint32_t> found;
};
