#include "graphics/SceneNodeListener.h"

#include "log/Exception.h"

#include <OgreSceneNode.h>

namespace Kiln {
namespace {

const Ogre::SceneNode& asSceneNode(const Ogre::Node* node, const char* source) {
    const auto* sceneNode = dynamic_cast<const Ogre::SceneNode*>(node);
    if (!sceneNode)
        throw Exception(ErrorCode::General, "The node attempted to listen to is not a scene node.", source);
    return *sceneNode;
}

} // namespace

SceneNodeListener::SceneNodeListener(Callback attached, Callback updated)
    : onAttached(std::move(attached)), onUpdated(std::move(updated)) {}

void SceneNodeListener::nodeAttached(const Ogre::Node* node) {
    const Ogre::SceneNode& sceneNode = asSceneNode(node, "Kiln::SceneNodeListener::nodeAttached()");
    if (onAttached)
        onAttached(sceneNode);
}

void SceneNodeListener::nodeUpdated(const Ogre::Node* node) {
    const Ogre::SceneNode& sceneNode = asSceneNode(node, "Kiln::SceneNodeListener::nodeUpdated()");
    if (onUpdated)
        onUpdated(sceneNode);
}

} // namespace Kiln
