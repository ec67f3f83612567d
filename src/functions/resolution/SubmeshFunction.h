#pragma once
// The subdivision brush: edges whose midpoint comes under the brush are
// split there. Each frame restores only the faces the last pass split and
// splits again with the grown candidate set.
#include "functions/resolution/MeshBrushFunction.h"
#include "geometry/MeshEdges.h"

#include <cstdint>
#include <vector>

class SubmeshFunction : public MeshBrushFunction {
public:
    explicit SubmeshFunction(FunctionContext& context);
    std::size_t getCandidateCount() const { return candidates.size(); }

protected:
    void beginPasses(Kiln::DynamicMesh& start) override;
    bool growCandidates(const Ogre::Matrix4& world, const ResolutionBrush& brush) override;
    void takeEverything() override;
    void runPass(Kiln::DynamicMesh& target) override;
    void cleanUp(Kiln::DynamicMesh& target) override;
    void endPasses() override;

private:
    Kiln::DynamicMesh* start = nullptr;
    std::vector<Kiln::EdgeRecord> edges;
    std::vector<Kiln::Vertex> midpoints;  ///< one per edge, positions only
    VertexGrid grid;
    std::vector<std::uint8_t> isCandidate;
    std::vector<Kiln::EdgeRecord> candidates;
    std::vector<std::uint32_t> found;
};
