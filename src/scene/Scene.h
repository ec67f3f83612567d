#pragma once
// The application's scene-graph roots and the scene-wide presenters
// (graphics manager, haptic manager) that follow them.
#include "scene/ObjectHandle.h"

#include <memory>
#include <string>
#include <vector>

namespace Kiln {

class IScenePresenter {
public:
    virtual ~IScenePresenter() = default;
    virtual void objectAdded(ObjectHandle root) = 0;
    virtual void objectRemoved(ObjectHandle root) = 0;
    /// The root the presenter shows and serves from now on.
    virtual void setActiveObject(ObjectHandle root) = 0;
};

class Scene {
public:
    virtual ~Scene() = default;
    static std::unique_ptr<Scene> create();

    /// Stores `presenter` (not owned) under `name` and tells it about every
    /// root already added, in order.
    virtual void addPresenter(const std::string& name, IScenePresenter* presenter) = 0;
    /// Appends a root and tells every presenter.
    virtual void addObject(ObjectHandle root) = 0;
    /// Removes a root (all entries equal to it) and tells every presenter.
    virtual void removeObject(const ObjectHandle& root) = 0;
    virtual void setActiveObject(ObjectHandle root) = 0;
    virtual const std::vector<ObjectHandle>& getObjects() const = 0;

    class Impl;
};

} // namespace Kiln
