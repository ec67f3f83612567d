#pragma once
// Makes mirrored copies of the selected objects across a plane placed with
// the grip (anchored at the press, facing the stylus, X/Y/Z constrain it).
// The copies appear at the first movement and follow the plane; the release
// keeps them as one history entry. A click without a movement makes nothing.
#include "functions/FunctionBase.h"
#include "functions/combine/SceneExchange.h"
#include "functions/cut/PlaneDrag.h"

#include <memory>

class MirrorState : public FunctionState {
public:
    MirrorState(const FunctionBase* function, Kiln::ObjectGroup& root, SceneExchange exchange)
        : FunctionState(function), root(root), exchange(std::move(exchange)) {}
    /// Takes the copies out of the scene (redo puts them back).
    void undo() override { exchange.apply(root); }
    void redo() override { exchange.apply(root); }

private:
    Kiln::ObjectGroup& root;
    SceneExchange exchange;
};

/// Writes into `target` (same size as `source`) the positions of `source`
/// carried by `toTarget` and reflected through the plane (point, unit
/// normal) given in the target frame, i.e. toTarget applied, then the
/// reflection. Faces of a reflected mesh must have two corners exchanged to
/// keep facing outwards (see mirrorFaces).
void reflectVertices(const std::vector<Kiln::Vertex>& source, const Ogre::Matrix4& toTarget,
                     const Ogre::Vector3& point, const Ogre::Vector3& unitNormal, std::vector<Kiln::Vertex>& target);
/// Exchanges the second and third corner of every face.
std::vector<Kiln::Face> mirrorFaces(std::vector<Kiln::Face> faces);

class MirrorFunction : public FunctionBase, public IToolPlane {
public:
    explicit MirrorFunction(FunctionContext& context);

    void activate() override;
    void deactivate() override;
    void keyPressed(const OIS::KeyEvent& event) override;
    void keyReleased(const OIS::KeyEvent& event) override;
    void hapticMoved(const Kiln::HapticEvent& event) override;
    void buttonPressed(const FunctionButtonEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;

    bool isDragging() const { return dragging; }
    Plane getToolPlane() const override { return plane.shownPlane(dragging); }
    std::size_t getCopyCount() const { return copies.size(); }

private:
    struct Copy {
        Kiln::ObjectHandle source;
        Kiln::ObjectHandle copy;
    };
    void makeCopies();
    void updateCopies();
    void removeCopies();
    void finishDrag();

    PlaneDrag plane;
    bool dragging = false;
    std::vector<Kiln::ObjectHandle> sources;
    std::vector<Copy> copies;
    std::vector<Kiln::Vertex> scratch;
};
