#include "scene/Scene.h"

#include <algorithm>
#include <unordered_map>

namespace Kiln {

class Scene::Impl : public Scene {
public:
    void addPresenter(const std::string& name, IScenePresenter* presenter) override {
        presenters[name] = presenter;
        if (presenter)
            for (const ObjectHandle& root : objects)
                presenter->objectAdded(root);
    }

    void addObject(ObjectHandle root) override {
        objects.push_back(root);
        for (const auto& entry : presenters)
            if (entry.second)
                entry.second->objectAdded(root);
    }

    void removeObject(const ObjectHandle& root) override {
        const auto first = std::remove(objects.begin(), objects.end(), root);
        if (first == objects.end())
            return;
        objects.erase(first, objects.end());
        for (const auto& entry : presenters)
            if (entry.second)
                entry.second->objectRemoved(root);
    }

    void setActiveObject(ObjectHandle root) override {
        for (const auto& entry : presenters)
            if (entry.second)
                entry.second->setActiveObject(root);
    }

    const std::vector<ObjectHandle>& getObjects() const override { return objects; }

private:
    std::unordered_map<std::string, IScenePresenter*> presenters;
    std::vector<ObjectHandle> objects;
};

std::unique_ptr<Scene> Scene::create() { return std::make_unique<Impl>(); }

} // namespace Kiln
