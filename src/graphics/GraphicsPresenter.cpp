#include "graphics/GraphicsPresenter.h"

#include "graphics/MeshRenderer.h"
#include "scene/ObjectGroup.h"

#include <OgreSceneManager.h>
#include <OgreSceneNode.h>

namespace Kiln {
namespace {

const char* const kShowBoundingBox = "showBoundingBox";
const char* const kBoundingBox = "boundingBox";
const char* const kMaterial = "material";
const char* const kCastShadows = "castShadows";
const char* const kDeformation = "deformation";

GraphicsPresenter& self(void* owner) { return *static_cast<GraphicsPresenter*>(owner); }

template <typename T>
std::unique_ptr<IObjectParameter> parameter(T value) {
    return std::make_unique<ObjectParameter<T>>(std::move(value));
}

} // namespace

GraphicsPresenter::GraphicsPresenter(Ogre::SceneManager& sceneManager_)
    : sceneNode(sceneManager_.createSceneNode()), sceneManager(sceneManager_) {}

GraphicsPresenter::~GraphicsPresenter() {
    if (object)
        unbindParameters();
    meshRenderer.reset();
    sceneNode->removeAllChildren();
    if (Ogre::SceneNode* parent = sceneNode->getParentSceneNode())
        parent->removeChild(sceneNode);
    sceneManager.destroySceneNode(sceneNode);
}

GraphicsPresenter* GraphicsPresenter::of(const ObjectGroup& node) {
    return dynamic_cast<GraphicsPresenter*>(node.getPresenter("graphics"));
}

std::unique_ptr<IObjectPresenter> GraphicsPresenter::clone() const {
    auto copy = std::make_unique<GraphicsPresenter>(sceneManager);
    copy->visible = visible;
    copy->sceneNode->setVisible(visible, false);
    return copy;
}

void GraphicsPresenter::setObject(ObjectGroup* node) {
    if (node == object)
        return;
    if (object) {
        unbindParameters();
        // The renderer draws the old node's mesh, which may die with it.
        meshRenderer.reset();
    }
    object = node;
    if (!object)
        return;
    bindNodeParameters();
    if (object->isObject())
        bindMeshParameters();
    onMeshChanged();
}

void GraphicsPresenter::bindNodeParameters() {
    object->bindParameter(
        kShowBoundingBox, this,
        [](void* owner, const IObjectParameter& value) {
            if (const bool* show = parameterValue<bool>(&value))
                self(owner).showBoundingBox(*show);
        },
        [](void* owner) { return parameter<bool>(self(owner).boxWanted); },
        &parameterTypeInfo<bool>());
    object->bindParameter(
        kBoundingBox, this, [](void*, const IObjectParameter&) {},
        [](void* owner) { return parameter<Ogre::AxisAlignedBox>(self(owner).getWorldBoundingBox()); },
        &parameterTypeInfo<Ogre::AxisAlignedBox>());
}

void GraphicsPresenter::bindMeshParameters() {
    object->bindParameter(
        kMaterial, this,
        [](void* owner, const IObjectParameter& value) {
            GraphicsPresenter& presenter = self(owner);
            if (const std::string* name = parameterValue<std::string>(&value)) {
                presenter.material = *name;
                if (presenter.meshRenderer)
                    presenter.meshRenderer->setMaterial(*name);
            }
        },
        [](void* owner) { return parameter<std::string>(self(owner).material); },
        &parameterTypeInfo<std::string>());
    object->bindParameter(
        kCastShadows, this,
        [](void* owner, const IObjectParameter& value) {
            GraphicsPresenter& presenter = self(owner);
            if (const bool* cast = parameterValue<bool>(&value)) {
                presenter.castShadows = *cast;
                if (presenter.meshRenderer)
                    presenter.meshRenderer->setCastShadows(*cast);
            }
        },
        [](void* owner) { return parameter<bool>(self(owner).castShadows); },
        &parameterTypeInfo<bool>());
    object->bindParameter(
        kDeformation, this,
        [](void* owner, const IObjectParameter& value) {
            GraphicsPresenter& presenter = self(owner);
            if (VertexListWorker* const* worker = parameterValue<VertexListWorker*>(&value)) {
                presenter.deformation = *worker;
                if (presenter.meshRenderer)
                    presenter.meshRenderer->setDeformation(*worker);
            }
        },
        [](void* owner) { return parameter<VertexListWorker*>(self(owner).deformation); },
        &parameterTypeInfo<VertexListWorker*>());
}

void GraphicsPresenter::unbindParameters() {
    for (const char* name : {kShowBoundingBox, kBoundingBox, kMaterial, kCastShadows, kDeformation})
        object->unbindParameter(name);
}

void GraphicsPresenter::onTransformChanged() {
    if (!object)
        return;
    sceneNode->setPosition(object->getPosition());
    sceneNode->setOrientation(object->getOrientation());
    sceneNode->setScale(object->getScale());
}

void GraphicsPresenter::onMeshChanged() {
    if (!object)
        return;
    const DynamicMesh* mesh = object->getMesh();
    if (!mesh) {
        meshRenderer.reset();
        return;
    }
    if (!meshRenderer)
        createMeshRenderer(*mesh);
    else
        meshRenderer->setMesh(*mesh);
}

void GraphicsPresenter::createMeshRenderer(const DynamicMesh& mesh) {
    meshRenderer = std::make_unique<MeshRenderer>(sceneManager, *sceneNode, mesh);
    meshRenderer->setMaterial(material);
    meshRenderer->setCastShadows(castShadows);
    if (deformation)
        meshRenderer->setDeformation(deformation);
    applyVisibility(ancestorsShown());
}

void GraphicsPresenter::refresh() {
    if (object && meshRenderer && object->getMesh())
        meshRenderer->refresh();
}

void GraphicsPresenter::onParentChanged() {
    Ogre::SceneNode* currentParent = sceneNode->getParentSceneNode();
    const bool isRoot = !object || !object->hasParent();
    // A root hung into the rendered scene by the graphics manager stays there.
    if (isRoot && currentParent == sceneManager.getRootSceneNode())
        return;
    if (currentParent)
        currentParent->removeChild(sceneNode);
    if (!isRoot)
        if (GraphicsPresenter* parentPresenter = of(*object->getParent()))
            parentPresenter->sceneNode->addChild(sceneNode);
    applyVisibility(ancestorsShown());
}

void GraphicsPresenter::setVisible(bool flag) {
    visible = flag;
    applyVisibility(ancestorsShown());
}

bool GraphicsPresenter::ancestorsShown() const {
    if (!object)
        return true;
    for (const ObjectGroup* node = object; node->hasParent();) {
        node = node->getParent();
        const GraphicsPresenter* presenter = of(*node);
        if (presenter ? !presenter->visible : !node->isVisible())
            return false;
    }
    return true;
}

void GraphicsPresenter::applyVisibility(bool shownAbove) {
    const bool shown = visible && shownAbove;
    sceneNode->setVisible(shown, false);
    sceneNode->showBoundingBox(boxWanted && shown);
    if (!object)
        return;
    for (const auto& child : object->getChildren())
        if (GraphicsPresenter* presenter = of(*child))
            presenter->applyVisibility(shown);
}

void GraphicsPresenter::showBoundingBox(bool show) {
    boxWanted = show;
    sceneNode->showBoundingBox(show && visible && ancestorsShown());
}

bool GraphicsPresenter::isShowingBoundingBox() const { return sceneNode->getShowBoundingBox(); }

Ogre::AxisAlignedBox GraphicsPresenter::getWorldBoundingBox() const {
    Ogre::AxisAlignedBox box;
    if (!object)
        return box;
    if (meshRenderer && !meshRenderer->getBounds().isNull()) {
        Ogre::AxisAlignedBox own = meshRenderer->getBounds();
        own.transform(object->getWorldMatrix());
        box.merge(own);
    }
    for (const auto& child : object->getChildren())
        if (const GraphicsPresenter* presenter = of(*child))
            box.merge(presenter->getWorldBoundingBox());
    return box;
}

void installGraphicsPresenters(ObjectGroup& root, Ogre::SceneManager& sceneManager) {
    // Parents first, so that each child finds its parent's scene node.
    if (!GraphicsPresenter::of(root))
        root.setPresenter("graphics", std::make_unique<GraphicsPresenter>(sceneManager));
    for (const auto& child : root.getChildren())
        installGraphicsPresenters(*child, sceneManager);
}

void removeGraphicsPresenters(ObjectGroup& root) {
    for (const auto& child : root.getChildren())
        removeGraphicsPresenters(*child);
    root.setPresenter("graphics", nullptr);
}

} // namespace Kiln
