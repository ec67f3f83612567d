#pragma once
// Reports attachment and updates of scene nodes to whoever owns the
// listener, and refuses to listen to nodes that are not scene nodes.
#include <OgreNode.h>

#include <functional>

namespace Ogre {
class SceneNode;
}

namespace Kiln {

class SceneNodeListener : public Ogre::Node::Listener {
public:
    using Callback = std::function<void(const Ogre::SceneNode&)>;

    /// Either callback may be empty.
    SceneNodeListener(Callback onAttached, Callback onUpdated);

    /// Throw Kiln::Exception when `node` is not a scene node.
    void nodeAttached(const Ogre::Node* node) override;
    void nodeUpdated(const Ogre::Node* node) override;

private:
    Callback onAttached;
    Callback onUpdated;
};

} // namespace Kiln
