#include "functions/combine/SceneExchange.h"

#include "scene/IObjectFactory.h"

void SceneExchange::addEntering(std::unique_ptr<Kiln::ObjectGroup> object) {
    if (object)
        held.push_back(std::move(object));
}

void SceneExchange::apply(Kiln::ObjectGroup& root) {
    std::vector<std::unique_ptr<Kiln::ObjectGroup>> leaving;
    for (const Kiln::ObjectHandle& handle : inScene) {
        Kiln::ObjectGroup* node = handle.get();
        if (!node || !node->hasParent())
            continue;
        std::unique_ptr<Kiln::ObjectGroup> out;
        node->getParent()->removeChild(out, node);
        leaving.push_back(std::move(out));
    }
    std::vector<Kiln::ObjectHandle> entered;
    for (std::unique_ptr<Kiln::ObjectGroup>& node : held) {
        Kiln::ObjectGroup* raw = node.get();
        root.addChild(node);
        entered.push_back(raw->getHandle());
    }
    held = std::move(leaving);
    inScene = std::move(entered);
}

std::vector<Kiln::ObjectHandle> SceneExchange::getHeld() const {
    std::vector<Kiln::ObjectHandle> handles;
    for (const auto& node : held)
        handles.push_back(node->getHandle());
    return handles;
}

std::unique_ptr<Kiln::Object> makeResultObject(Kiln::IObjectFactory* factory, std::unique_ptr<Kiln::DynamicMesh> mesh,
                                               const Kiln::ObjectGroup& frame) {
    Kiln::PlainObjectFactory plain;
    std::unique_ptr<Kiln::Object> object = (factory ? *factory : static_cast<Kiln::IObjectFactory&>(plain)).createObject();
    object->setMesh(std::move(mesh));
    object->setTransform(frame.getPosition(), frame.getOrientation(), frame.getScale());
    object->setParameter("material", "defaultMaterial");
    object->centrePivot();
    object->setVisible(true);
    object->setParameter("castShadows", false);
    return object;
}
