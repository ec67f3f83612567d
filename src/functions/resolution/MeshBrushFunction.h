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
#include "mesh/DynamicMesh.h"
#include "scene/ObjectHandle.h"

#include <OgreMatrix4.h>

#include <memory>
#include <string>

/// The mesh of one object before and after a stroke, kept without copying
/// the vertex list: the faces are swapped whole (the stroke needs its own
/// copy of the starting faces anyway), the vertices as the change the stroke
/// made: `removed` vertices (ascending starting indices) dropped with the
/// order of the rest kept, then `appended` added at the end. A clean-up that
/// rewrites vertices anywhere falls back to keeping the other whole list.
class MeshArraysState : public FunctionState {
public:
    /// Copies the object's faces, the starting faces of the stroke.
    MeshArraysState(const FunctionBase* function, Kiln::Object& target);
    void undo() override;
    void redo() override;
    /// The faces not in the object: during a stroke, the mesh it started from.
    const std::vector<Kiln::Face>& getFaces() const { return faces; }

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
    /// frame). `startFaces` stay unchanged until endPasses; `startVertices`
    /// is the target's own list, whose first entries stay the starting ones
    /// until cleanUp (the passes may only append to it).
    virtual void beginPasses(const std::vector<Kiln::Vertex>& startVertices,
                             const std::vector<Kiln::Face>& startFaces) = 0;
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

    /// A grid cell size for brushes on `mesh`: a few mean edge lengths,
    /// estimated from a sample of faces.
    static float typicalBrushCell(const std::vector<Kiln::Vertex>& vertices, const std::vector<Kiln::Face>& faces);
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
    Ogre::Matrix4 worldTransform = Ogre::Matrix4::IDENTITY;
    Ogre::Matrix4 inverseWorld = Ogre::Matrix4::IDENTITY;
    float smallestScale = 1.f;
    std::size_t startVertexCount = 0;
    std::string savedMaterial;
    bool modified = false;
};
