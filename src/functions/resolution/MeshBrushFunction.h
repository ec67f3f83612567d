#pragma once
// What the mesh-resolution brushes (reduce, subdivide) share: a stroke runs
// while the centre button is held on exactly one touched object, gathers
// candidates under a brush that widens as the stylus presses deeper, and
// recomputes the operation from the stroke's starting mesh after each
// growth, so the result depends only on the set of candidates. The object
// is drawn as a wireframe during the stroke. The release cleans the mesh
// and pushes one history entry. X does the whole selected object through
// the same start and end of a stroke.
#include "functions/FunctionBase.h"
#include "functions/brush/VertexGrid.h"
#include "geometry/VertexFaceIndex.h"
#include "mesh/DynamicMesh.h"
#include "scene/ObjectHandle.h"

#include <OgreMatrix4.h>

#include <cstdint>
#include <memory>
#include <string>

/// The mesh of one object before and after a stroke, kept without copying
/// the vertex list: the faces are swapped whole (the stroke's own copy of
/// the starting faces, handed over at its end), the vertices as the change
/// the stroke made: the removed vertices (ascending starting indices)
/// dropped with the order of the rest kept, then the appended ones added at
/// the end. A clean-up that may rewrite any vertex falls back to keeping the
/// other whole list. Undo and redo give back the exact lists.
class MeshArraysState : public FunctionState {
public:
    MeshArraysState(const FunctionBase* function, Kiln::Object& target);
    void undo() override;
    void redo() override;
    /// The faces the stroke started from, taken over before the entry is pushed.
    void takeStartFaces(std::vector<Kiln::Face>&& startFaces) { faces = std::move(startFaces); }

    /// Recording, between the last pass and the clean-up, while the object's
    /// first vertices are still the starting ones. Starting vertices the
    /// clean-up will drop, ascending, taken from the object's current list.
    void recordRemovedVertices(const Kiln::DynamicMesh& mesh, std::vector<std::uint32_t> ascending);
    /// The starting list whole (the first `startCount` of `mesh`), for a
    /// clean-up that may move or drop any vertex.
    void recordWholeVertices(const Kiln::DynamicMesh& mesh, std::size_t startCount);
    /// After the clean-up: the vertices past the starting ones that stay.
    /// `startCount` minus the removed vertices must not exceed the count.
    void recordAppendedVertices(const Kiln::DynamicMesh& mesh, std::size_t startCount);

private:
    void swapFaces(Kiln::DynamicMesh& mesh);
    Kiln::Object* liveTarget() const;

    Kiln::ObjectHandle target;
    std::vector<Kiln::Face> faces;
    bool wholeVertices = false;
    std::vector<Kiln::Vertex> vertices;  ///< the other whole list, when wholeVertices
    std::vector<std::uint32_t> removedIndices;
    std::vector<Kiln::Vertex> removedValues;
    std::vector<Kiln::Vertex> appended;
};

/// What the passes read of the mesh a stroke starts on, mesh-local frame:
/// a copy of its faces, the vertex-to-face index over that copy and a
/// spatial hash of its vertices. Built when a stroke starts on a mesh it does
/// not match, and kept after a stroke that left the mesh unchanged, so that
/// the next stroke on it skips this whole-mesh work. Any change of the
/// mesh's vertices or faces (another tool, an undo) advances its revisions
/// and so makes the next stroke build again.
class StrokeStart {
public:
    StrokeStart() = default;
    StrokeStart(const StrokeStart&) = delete;  // the index points into `faces`
    StrokeStart& operator=(const StrokeStart&) = delete;

    /// Whether this was built on `mesh` as it is now.
    bool matches(const Kiln::DynamicMesh& mesh) const;
    void build(const Kiln::DynamicMesh& mesh);
    /// Hands the faces over (to the history entry of a stroke that changed
    /// the mesh) and forgets the rest.
    std::vector<Kiln::Face> release();
    void clear() { release(); }

    const std::vector<Kiln::Face>& getFaces() const { return faces; }
    const Kiln::VertexFaceIndex& getIndex() const { return index; }
    const VertexGrid& getGrid() const { return grid; }
    /// Half the longest edge of the starting mesh, worked out on first ask.
    float halfLongestEdge(const std::vector<Kiln::Vertex>& vertices) const;

private:
    bool built = false;
    std::uint64_t serial = 0;
    std::uint32_t topologyRevision = 0;
    std::uint32_t positionRevision = 0;
    std::size_t vertexCount = 0;
    std::vector<Kiln::Face> faces;
    Kiln::VertexFaceIndex index;
    VertexGrid grid;
    mutable float halfLongest = -1.f;  ///< negative until asked
};

/// The brush of the resolution tools, world frame: centred one proxy radius
/// beyond the proxy towards the device point, its radius the proxy radius
/// plus half the penetration depth.
struct ResolutionBrush {
    Ogre::Vector3 centre;
    float radius;
    static ResolutionBrush of(const Kiln::HapticState& state);
};

class MeshBrushFunction : public FunctionBase {
public:
    MeshBrushFunction(FunctionContext& context, const std::string& name, const FunctionText& title,
                      const FunctionText& help, const std::string& strokeEndText, const std::string& wholeText);

    void activate() override;
    /// Ends a running stroke (pushing it), then the stylus turns white.
    void deactivate() override;
    void hapticMoved(const Kiln::HapticEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;
    /// X: the whole selected object.
    void keyPressed(const OIS::KeyEvent& event) override;

    bool isStroking() const { return state != nullptr; }
    /// The operation on every vertex or edge of the single selected object,
    /// as a complete stroke; false when the selection is not one object.
    bool applyToSelection();

protected:
    /// Prepare candidate search over the stroke's starting mesh (local
    /// frame). `start` stays unchanged until endPasses; `startVertices`
    /// is the target's own list, whose first entries stay the starting ones
    /// until cleanUp (the passes may only append to it).
    virtual void beginPasses(const std::vector<Kiln::Vertex>& startVertices, const StrokeStart& start) = 0;
    /// Add the candidates inside the brush (local centre and radius with
    /// the world test done by the caller's matrix); true when any was new.
    virtual bool growCandidates(const Ogre::Matrix4& world, const ResolutionBrush& brush) = 0;
    /// Every vertex or edge a candidate.
    virtual void takeEverything() = 0;
    /// Recompute the target's arrays from the starting mesh and candidates.
    virtual void runPass(Kiln::DynamicMesh& target) = 0;
    /// The stroke-end clean-up of the target's mesh, telling `record` how
    /// the vertex list changed (recordRemovedVertices or recordWholeVertices
    /// before cleaning; the caller records the appended ones after).
    virtual void cleanUp(Kiln::DynamicMesh& target, MeshArraysState& record) = 0;
    virtual void endPasses() = 0;

    /// Maps a world brush into the starting mesh's frame.
    struct LocalSphere {
        Ogre::Vector3 centre;
        float radius;
    };
    LocalSphere toLocal(const ResolutionBrush& brush) const;

private:
    bool startStroke(Kiln::Object& object);
    void endStroke();
    void pass(Kiln::Object& object);

    std::string strokeEndText;
    std::string wholeText;
    Kiln::ObjectHandle target;
    std::unique_ptr<MeshArraysState> state;
    StrokeStart start;
    Ogre::Matrix4 worldTransform = Ogre::Matrix4::IDENTITY;
    Ogre::Matrix4 inverseWorld = Ogre::Matrix4::IDENTITY;
    float smallestScale = 1.f;
    std::size_t startVertexCount = 0;
    std::string savedMaterial;
    bool modified = false;
};
