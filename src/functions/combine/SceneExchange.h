#pragma once
// Objects that leave the scene root while others enter it, as one step that
// can be applied again and again: the undo record of every tool that
// replaces objects by new ones (Boolean, slice, mirror). Whatever is out of
// the scene is owned here and deleted with the exchange.
#include "scene/ObjectGroup.h"
#include "scene/ObjectHandle.h"

#include <memory>
#include <vector>

class SceneExchange {
public:
    /// An object in the scene that leaves at the next apply.
    void addLeaving(const Kiln::ObjectHandle& object) { inScene.push_back(object); }
    /// An object out of the scene that enters at the next apply.
    void addEntering(std::unique_ptr<Kiln::ObjectGroup> object);

    /// Takes the objects in the scene out (from whatever parent holds them),
    /// puts the held ones under `root`, and swaps the roles of the two sets.
    /// Objects that died meanwhile are skipped.
    void apply(Kiln::ObjectGroup& root);

    /// The objects now in the scene (after the last apply).
    const std::vector<Kiln::ObjectHandle>& getInScene() const { return inScene; }
    /// The objects held out of the scene.
    std::vector<Kiln::ObjectHandle> getHeld() const;

private:
    std::vector<Kiln::ObjectHandle> inScene;
    std::vector<std::unique_ptr<Kiln::ObjectGroup>> held;
};

namespace Kiln {
class Object;
class IObjectFactory;
} // namespace Kiln

/// A new object from `factory` (plain, without presenters, when null) with
/// `mesh`, placed like `frame` (a child of the scene root) and drawn with
/// "defaultMaterial" and no shadows; its pivot is centred on its vertices.
std::unique_ptr<Kiln::Object> makeResultObject(Kiln::IObjectFactory* factory, std::unique_ptr<Kiln::DynamicMesh> mesh,
                                               const Kiln::ObjectGroup& frame);
