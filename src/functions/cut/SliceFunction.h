#pragma once
// Cuts every selected object in two along a plane placed with the grip: the
// plane passes through the point where the centre button went down and faces
// the stylus; the release cuts. Each half is closed by a cap in the current
// colour. The cut goes through the exact Boolean kernel (the object
// intersected with, and minus, a box whose face lies in the plane), so the
// halves are closed whenever the object is and their volumes add up to it.
#include "functions/FunctionBase.h"
#include "functions/combine/SceneExchange.h"
#include "functions/cut/PlaneDrag.h"

#include <memory>

class SliceState : public FunctionState {
public:
    SliceState(const FunctionBase* function, Kiln::ObjectGroup& root, Kiln::SelectionManager* selection,
               SceneExchange exchange)
        : FunctionState(function), root(root), selection(selection), exchange(std::move(exchange)) {}
    void undo() override;
    void redo() override;

private:
    Kiln::ObjectGroup& root;
    Kiln::SelectionManager* selection;
    SceneExchange exchange;
};

/// The two closed halves of `mesh` (mesh-local frame) on the positive and
/// the negative side of the plane through `point` with normal `normal`
/// (local frame, any length > 0), caps coloured `capColour`. Both null when
/// the plane misses the mesh. Throws what the kernel throws.
struct SliceHalves {
    std::unique_ptr<Kiln::DynamicMesh> positive;
    std::unique_ptr<Kiln::DynamicMesh> negative;
};
SliceHalves sliceMesh(const Kiln::DynamicMesh& mesh, const Ogre::Vector3& point, const Ogre::Vector3& normal,
                      const Ogre::ColourValue& capColour);

class SliceFunction : public FunctionBase, public IToolPlane {
public:
    explicit SliceFunction(FunctionContext& context);

    void activate() override;
    void deactivate() override;
    void keyPressed(const OIS::KeyEvent& event) override;
    void keyReleased(const OIS::KeyEvent& event) override;
    void hapticMoved(const Kiln::HapticEvent& event) override;
    void buttonPressed(const FunctionButtonEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;

    bool isDragging() const { return dragging; }
    Plane getToolPlane() const override { return plane.shownPlane(dragging); }
    const PlaneDrag& getPlane() const { return plane; }

private:
    void finishDrag();
    void abandonDrag();

    PlaneDrag plane;
    bool dragging = false;
    std::vector<Kiln::ObjectHandle> before;
};
