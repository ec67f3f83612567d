#pragma once
// The "haptics" presenters of scene nodes. Groups get a HapticsPresenterBase,
// which only follows its manager; objects get a HapticsPresenter, which keeps
// a touchable shape of the mesh in the renderer (stiffness, side, transform)
// and, while the proxy touches the object, drives a live dent of the drawn
// vertices through a HapticDeformation (the "deformation" parameter that the
// graphics presenter applies).
#include "mesh/MeshWorkers.h"
#include "scene/IObjectPresenter.h"

#include <OgreMatrix4.h>
#include <OgreVector3.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace Kiln {

struct ShapeUpdateStats;
class HapticManager;
class HapticStylus;
class HapticSurfaceInfo;
class IndexedShape;
class RuspiniRenderer;

/// What the manager tells a presenter each frame of a touch.
struct TouchInfo {
    HapticStylus* stylus = nullptr;
    Ogre::Vector3 contactPoint = Ogre::Vector3::ZERO;  ///< shape's local frame
    Ogre::Vector3 force = Ogre::Vector3::ZERO;         ///< on the shape
    Ogre::Vector3 proxyPosition = Ogre::Vector3::ZERO; ///< world
    Ogre::Vector3 deformation = Ogre::Vector3::ZERO;   ///< -sum(normal * depth), world
    float proxyRadius = 0.f;                           ///< > 0
    float seconds = 0.f;                               ///< frame time, <= 1
    HapticManager* manager = nullptr;
    RuspiniRenderer* renderer = nullptr;
};

/// The live dent: vertices within 10 proxy radii of the dent centre move
/// along `displacement`, weighted (1 - sin(d^2 pi/2))^3 by their scaled
/// squared distance d^2 = |transform * p|^2; those at d^2 >= 1 stay.
class HapticDeformation : public VertexListWorker {
public:
    void operator()(std::vector<Vertex>& vertices) override;
    /// The dented position of one vertex (the same rule).
    Ogre::Vector3 apply(const Ogre::Vector3& position) const;

    Ogre::Vector3 displacement = Ogre::Vector3::ZERO; ///< object local frame
    Ogre::Matrix4 transform = Ogre::Matrix4::IDENTITY;
};

/// Side values: 0 none, 1 outer, 2 inner, 3 both.
enum TouchSide : int { TouchSideNone = 0, TouchSideOuter = 1, TouchSideInner = 2, TouchSideBoth = 3 };

class HapticsPresenterBase : public IObjectPresenter {
public:
    std::unique_ptr<IObjectPresenter> clone() const override;
    void setObject(ObjectGroup* node) override;
    void onTransformChanged() override;
    void onMeshChanged() override {}
    void onParentChanged() override;
    void setVisible(bool visible) override;
    bool isVisible() const override { return visible; }

    virtual void setManager(HapticManager* manager);
    HapticManager* getManager() const { return manager; }
    void setActive(bool on) { active = on; }
    bool isActive() const { return active; }
    ObjectGroup* getObject() const { return object; }

    /// The presenter installed on `node` under "haptics", or null.
    static HapticsPresenterBase* of(const ObjectGroup& node);

protected:
    /// Tells the children's "haptics" presenters that their parent changed,
    /// so they follow this node's manager.
    void forEachChild();

    ObjectGroup* object = nullptr;
    bool visible = true;
    bool active = false;
    HapticManager* manager = nullptr;
};

class HapticsPresenter : public HapticsPresenterBase {
public:
    HapticsPresenter();
    ~HapticsPresenter() override;

    std::unique_ptr<IObjectPresenter> clone() const override;
    /// Binds "stiffness" and "hapticSide" (unbinding both from the old node).
    void setObject(ObjectGroup* node) override;
    void onTransformChanged() override;
    /// Rebuilds the touchable shape when the mesh's positions or faces
    /// changed (colours alone build nothing); waits while haptics are off.
    void onMeshChanged() override;
    void setVisible(bool visible) override;
    void setManager(HapticManager* manager) override;

    void setSide(int side);
    int getSide() const { return side; }
    void applySide();

    /// The "stiffness" parameter: the surface's stiffness, 0 without one;
    /// writes clamp to [0, 1].
    float getStiffness() const;
    void setStiffness(float stiffness);
    std::shared_ptr<HapticSurfaceInfo> getSurfaceInfo() const;
    /// Builds (or refits, when the faces are the shape's own) the touchable
    /// shape from these lists and puts it in place of the current one.
    /// sameFaces: the caller knows the faces are those of the current shape.
    /// Throws Kiln::Exception (code 9) when no shape can be made.
    void setShapes(const std::vector<Vertex>& vertices, const std::vector<Face>& faces, int side,
                   bool sameFaces = false);
    /// How the last setShapes made its shape (refit or rebuild, and its work).
    const ShapeUpdateStats& getLastShapeUpdate() const;

    void touchBegin(const TouchInfo& info);
    void touchContinue(const TouchInfo& info);
    void touchEnd();

    /// What the manager told the presenter last during the current touch
    /// (default values when not touching).
    const TouchInfo& getLastTouch() const;
    /// The live dent while touched, else null.
    HapticDeformation* getDeformation() const { return deformation.get(); }
    std::shared_ptr<IndexedShape> getShape() const { return shape; }

    static HapticsPresenter* of(const ObjectGroup& node);

private:
    void bindParameters();
    void rebuildShape();

    struct Impl;
    std::unique_ptr<Impl> impl;
    int side = TouchSideOuter;
    std::shared_ptr<IndexedShape> shape;
    std::unique_ptr<HapticDeformation> deformation;
};

} // namespace Kiln
