#pragma once
// Mirrors a scene node in the engine: a scene node that follows the node's
// transform, parent and visibility and, for an object with a mesh, a mesh
// renderer that draws it. Installed on every node under "graphics".
#include "scene/IObjectPresenter.h"

#include <OgreAxisAlignedBox.h>

#include <memory>
#include <string>

namespace Ogre {
class SceneManager;
class SceneNode;
} // namespace Ogre

namespace Kiln {

class DynamicMesh;
class MeshRenderer;
class ObjectGroup;
class VertexListWorker;

class GraphicsPresenter : public IObjectPresenter {
public:
    /// Creates the presenter's scene node (detached) in `sceneManager`,
    /// which must outlive the presenter.
    explicit GraphicsPresenter(Ogre::SceneManager& sceneManager);
    /// Destroys the entity, the engine mesh and the scene node; child scene
    /// nodes are only detached (their presenters own them).
    ~GraphicsPresenter() override;
    GraphicsPresenter(const GraphicsPresenter&) = delete;
    GraphicsPresenter& operator=(const GraphicsPresenter&) = delete;

    /// Same scene manager and visibility, not attached.
    std::unique_ptr<IObjectPresenter> clone() const override;
    /// Binds "showBoundingBox" and "boundingBox" on groups and objects, and
    /// "material", "castShadows" and "deformation" once there is a mesh.
    /// The same node again does nothing; null detaches.
    void setObject(ObjectGroup* node) override;
    void onTransformChanged() override;
    /// Creates the renderer on the first mesh, switches meshes, and refills
    /// what changed.
    void onMeshChanged() override;
    /// Hangs the scene node under the parent's "graphics" scene node.
    void onParentChanged() override;
    /// Hides or shows the node's drawables and those of its descendants; a
    /// descendant hidden on its own stays hidden when its group is shown.
    void setVisible(bool visible) override;
    bool isVisible() const override { return visible; }

    /// Picks up mesh revisions that advanced without a notification (tools
    /// that edit vertices in place); cheap when nothing changed.
    void refresh();

    /// World-space box of the node's drawn meshes and those of its
    /// descendants; null when none has vertices.
    Ogre::AxisAlignedBox getWorldBoundingBox() const;
    bool isShowingBoundingBox() const;

    ObjectGroup* getObject() const { return object; }
    Ogre::SceneNode* getSceneNode() const { return sceneNode; }
    /// Null until the node has a mesh.
    MeshRenderer* getMeshRenderer() const { return meshRenderer.get(); }

    /// The presenter installed on `node` under "graphics", or null.
    static GraphicsPresenter* of(const ObjectGroup& node);

private:
    /// Shows the node's own drawables when it and all its ancestors are
    /// visible, and passes the answer down to the children.
    void applyVisibility(bool ancestorsShown);
    bool ancestorsShown() const;
    void bindNodeParameters();
    void bindMeshParameters();
    void unbindParameters();
    void createMeshRenderer(const DynamicMesh& mesh);
    void showBoundingBox(bool show);

    ObjectGroup* object = nullptr;
    Ogre::SceneNode* sceneNode = nullptr;
    Ogre::SceneManager& sceneManager;
    std::unique_ptr<MeshRenderer> meshRenderer;
    bool visible = true;
    bool boxWanted = false;
    // Values of the mesh parameters, kept here so that they survive until
    // (and across) the mesh's arrival.
    std::string material = "defaultMaterial";
    bool castShadows = true;
    VertexListWorker* deformation = nullptr;
};

/// Installs a GraphicsPresenter under "graphics" on `root` and every
/// descendant that has none yet (nodes made without a graphics factory,
/// e.g. by a file reader).
void installGraphicsPresenters(ObjectGroup& root, Ogre::SceneManager& sceneManager);
/// Removes the "graphics" presenters of `root` and all its descendants.
void removeGraphicsPresenters(ObjectGroup& root);

} // namespace Kiln
