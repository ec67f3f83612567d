#pragma once
// The subdivision brush: edges whose midpoint comes under the brush are
// split there. Each frame restores only the faces the last pass split and
// splits again with the grown candidate set.
#include "functions/resolution/MeshBrushFunction.h"
#include "geometry/MeshEdges.h"

#include <cstdint>
#include <unordered_set>
#include <vector>

class SubmeshFunction : public MeshBrushFunction {
public:
    explicit SubmeshFunction(FunctionContext& context);
    std::size_t getCandidateCount() const { return candidates.size(); }

protected:
    void beginPasses(const std::vector<Kiln::Vertex>& startVertices, const StrokeStart& start) override;
    bool growCandidates(const Ogre::Matrix4& world, const ResolutionBrush& brush) override;
    void takeEverything() override;
    void runPass(Kiln::DynamicMesh& target) override;
    void cleanUp(Kiln::DynamicMesh& target, MeshArraysState& record) override;
    void endPasses() override;

private:
    bool addIfInside(const Kiln::EdgeRecord& edge, const Ogre::Matrix4& world, const ResolutionBrush& brush);

    /// The target's list: the starting vertices, then the pass's midpoints.
    const std::vector<Kiln::Vertex>* startVertices = nullptr;
    std::size_t startVertexCount = 0;
    const Kiln::VertexFaceIndex* adjacency = nullptr;  ///< the stroke's start's, during a stroke
    const VertexGrid* grid = nullptr;                  ///< over the starting vertices
    float longestHalfEdge = 0.f;  ///< local frame: how far a midpoint lies from its nearer end at most
    std::unordered_set<std::uint64_t> candidateKeys;  ///< (vertexA, vertexB) of each candidate
    std::vector<Kiln::EdgeRecord> candidates;
    std::vector<std::uint32_t> found;
};
