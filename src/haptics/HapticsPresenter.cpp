#include "haptics/HapticsPresenter.h"

#include "haptics/HapticManager.h"
#include "haptics/HapticStylus.h"
#include "haptics/IndexedShape.h"
#include "haptics/RuspiniRenderer.h"
#include "log/Exception.h"
#include "mesh/DynamicMesh.h"
#include "scene/ObjectGroup.h"

#include <cmath>
#include <new>
#include <utility>

namespace Kiln {
namespace {

const char* const kHaptics = "haptics";
const char* const kStiffness = "stiffness";
const char* const kHapticSide = "hapticSide";
const char* const kDeformation = "deformation";
constexpr float kDefaultStiffness = 0.35f;
// The dent reaches this many proxy radii from its centre.
constexpr float kDentReach = 10.f;
constexpr float kHalfPi = 1.5707964f;

HapticsPresenter& self(void* owner) { return *static_cast<HapticsPresenter*>(owner); }

template <typename T>
std::unique_ptr<IObjectParameter> parameter(T value) {
    return std::make_unique<ObjectParameter<T>>(std::move(value));
}

const char* sideName(int side) {
    switch (side) {
    case TouchSideOuter:
        return "outer";
    case TouchSideInner:
        return "inner";
    case TouchSideBoth:
        return "both";
    default:
        return "none";
    }
}

int sideFromName(const std::string& name) {
    if (name == "outer")
        return TouchSideOuter;
    if (name == "inner")
        return TouchSideInner;
    if (name == "both")
        return TouchSideBoth;
    return TouchSideNone;
}

// The renderer numbers sides its own way.
int rendererSide(int side) {
    switch (side) {
    case TouchSideInner:
        return HapticSideInner;
    case TouchSideBoth:
        return HapticSideBoth;
    default:
        return HapticSideOuter;
    }
}

float clampUnit(float value) { return value <= 0.f ? 0.f : (value >= 1.f ? 1.f : value); }

bool isFinite(const Ogre::Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

void matrixRows(const Ogre::Matrix4& m, float out[12]) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            out[4 * i + j] = m[i][j];
}

void redraw(ObjectGroup& node) {
    if (IObjectPresenter* graphics = node.getPresenter("graphics"))
        graphics->onMeshChanged();
}

} // namespace

// ---------------------------------------------------------------------------
// HapticDeformation

// Flat loop over the positions with the 3x4 part of the transform in
// registers; only vertices inside the unit ball of the transformed space
// pay for the sine.
void HapticDeformation::operator()(std::vector<Vertex>& vertices) {
    const Ogre::Matrix4& m = transform;
    const float m00 = m[0][0], m01 = m[0][1], m02 = m[0][2], m03 = m[0][3];
    const float m10 = m[1][0], m11 = m[1][1], m12 = m[1][2], m13 = m[1][3];
    const float m20 = m[2][0], m21 = m[2][1], m22 = m[2][2], m23 = m[2][3];
    const Ogre::Vector3 shift = displacement;
    for (Vertex& vertex : vertices) {
        Ogre::Vector3& p = vertex.position;
        const float qx = m00 * p.x + m01 * p.y + m02 * p.z + m03;
        const float qy = m10 * p.x + m11 * p.y + m12 * p.z + m13;
        const float qz = m20 * p.x + m21 * p.y + m22 * p.z + m23;
        const float d2 = qx * qx + qy * qy + qz * qz;
        if (d2 < 1.f) {
            const float s = 1.f - std::sin(d2 * kHalfPi);
            p += shift * (s * s * s);
        }
    }
}

Ogre::Vector3 HapticDeformation::apply(const Ogre::Vector3& position) const {
    std::vector<Vertex> one(1);
    one[0].position = position;
    const_cast<HapticDeformation&>(*this)(one);
    return one[0].position;
}

// ---------------------------------------------------------------------------
// HapticsPresenterBase

HapticsPresenterBase* HapticsPresenterBase::of(const ObjectGroup& node) {
    return dynamic_cast<HapticsPresenterBase*>(node.getPresenter(kHaptics));
}

std::unique_ptr<IObjectPresenter> HapticsPresenterBase::clone() const {
    auto copy = std::make_unique<HapticsPresenterBase>();
    copy->visible = visible;
    return copy;
}

void HapticsPresenterBase::setObject(ObjectGroup* node) {
    object = node;
    onParentChanged();
}

void HapticsPresenterBase::onTransformChanged() {
    if (active && manager && visible)
        manager->setTransformDirty();
}

// A root keeps the manager that took it from the scene; any other node
// follows its parent.
void HapticsPresenterBase::onParentChanged() {
    HapticManager* adopted = nullptr;
    if (object && object->hasParent()) {
        if (const HapticsPresenterBase* parent = of(*object->getParent()))
            adopted = parent->getManager();
    } else if (manager && manager->hasRoot(object)) {
        adopted = manager;
    }
    if (adopted != manager)
        setManager(adopted);
    else
        forEachChild();
}

void HapticsPresenterBase::setVisible(bool on) {
    visible = on;
    onTransformChanged();
}

void HapticsPresenterBase::setManager(HapticManager* newManager) {
    manager = newManager;
    onTransformChanged();
    forEachChild();
}

void HapticsPresenterBase::forEachChild() {
    if (!object)
        return;
    for (const auto& child : object->getChildren())
        if (HapticsPresenterBase* presenter = of(*child))
            presenter->onParentChanged();
}

// ---------------------------------------------------------------------------
// HapticsPresenter

struct HapticsPresenter::Impl {
    const DynamicMesh* lastMesh = nullptr;
    bool shapeCurrent = false; ///< the shape shows lastMesh at the revisions below
    std::uint32_t topologySeen = 0;
    std::uint32_t positionSeen = 0;
    std::shared_ptr<HapticSurfaceInfo> surfaceInfo;
    TouchInfo lastTouch;
    ShapeUpdateStats lastUpdate;
};

HapticsPresenter::HapticsPresenter() : impl(std::make_unique<Impl>()) {}

HapticsPresenter::~HapticsPresenter() {
    if (deformation && object)
        object->setParameter(kDeformation, ObjectParameter<VertexListWorker*>(nullptr));
    if (manager) {
        manager->removePresenter(this);
        if (shape)
            manager->getRenderer()->removeShape(shape);
    }
    if (shape)
        shape->setOwner(nullptr);
}

HapticsPresenter* HapticsPresenter::of(const ObjectGroup& node) {
    return dynamic_cast<HapticsPresenter*>(node.getPresenter(kHaptics));
}

std::unique_ptr<IObjectPresenter> HapticsPresenter::clone() const {
    auto copy = std::make_unique<HapticsPresenter>();
    copy->side = side;
    if (impl->surfaceInfo) {
        copy->impl->surfaceInfo = impl->surfaceInfo->clone();
        if (shape) {
            copy->shape = std::static_pointer_cast<IndexedShape>(shape->clone());
            copy->shape->setOwner(copy.get());
            copy->shape->setSurfaceInfo(copy->impl->surfaceInfo);
        }
    }
    return copy;
}

void HapticsPresenter::setObject(ObjectGroup* node) {
    if (node != object) {
        if (object) {
            if (deformation)
                touchEnd();
            // Both accessors point at this presenter: neither may outlive it
            // on a node it no longer serves.
            object->unbindParameter(kStiffness);
            object->unbindParameter(kHapticSide);
        }
        object = node;
        if (object)
            bindParameters();
    }
    onParentChanged();
}

void HapticsPresenter::bindParameters() {
    object->bindParameter(
        kStiffness, this,
        [](void* owner, const IObjectParameter& value) {
            if (const float* stiffness = parameterValue<float>(&value))
                self(owner).setStiffness(*stiffness);
        },
        [](void* owner) { return parameter<float>(self(owner).getStiffness()); },
        &parameterTypeInfo<float>());
    object->bindParameter(
        kHapticSide, this,
        [](void* owner, const IObjectParameter& value) {
            if (const std::string* name = parameterValue<std::string>(&value))
                self(owner).setSide(sideFromName(*name));
        },
        [](void* owner) { return parameter<std::string>(sideName(self(owner).side)); },
        &parameterTypeInfo<std::string>());
}

float HapticsPresenter::getStiffness() const {
    const auto* simple = dynamic_cast<const HapticSimpleSurfaceInfo*>(impl->surfaceInfo.get());
    return simple ? simple->getStiffness() : 0.f;
}

// Surface information is immutable once a shape may read it on the haptic
// thread, so a new stiffness is a new record handed to the shape.
void HapticsPresenter::setStiffness(float value) {
    const auto* simple = dynamic_cast<const HapticSimpleSurfaceInfo*>(impl->surfaceInfo.get());
    const float damping = simple ? simple->getDamping() : 0.f;
    impl->surfaceInfo = std::make_shared<HapticSimpleSurfaceInfo>(damping, clampUnit(value));
    if (shape)
        shape->setSurfaceInfo(impl->surfaceInfo);
}

std::shared_ptr<HapticSurfaceInfo> HapticsPresenter::getSurfaceInfo() const {
    return impl->surfaceInfo;
}

void HapticsPresenter::onTransformChanged() {
    HapticsPresenterBase::onTransformChanged();
    if (!shape || !object)
        return;
    float rows[12];
    matrixRows(object->getWorldMatrix(), rows);
    shape->setTransformMatrix(rows);
}

void HapticsPresenter::onMeshChanged() { rebuildShape(); }

void HapticsPresenter::setVisible(bool on) {
    visible = on;
    applySide();
}

void HapticsPresenter::setManager(HapticManager* newManager) {
    if (manager) {
        manager->removePresenter(this);
        if (shape)
            manager->getRenderer()->removeShape(shape);
    }
    manager = newManager;
    if (manager)
        manager->attachPresenter(this);
    applySide();
    forEachChild();
}

void HapticsPresenter::setSide(int value) {
    side = value;
    applySide();
}

void HapticsPresenter::applySide() {
    if (visible && object)
        rebuildShape();
    if (!shape || !manager || !manager->getRenderer())
        return;
    RuspiniRenderer& renderer = *manager->getRenderer();
    const int effective = visible ? side : TouchSideNone;
    if (effective != TouchSideOuter && effective != TouchSideInner && effective != TouchSideBoth) {
        renderer.removeShape(shape);
        return;
    }
    shape->setSide(rendererSide(effective));
    renderer.addShape(shape);
}

void HapticsPresenter::rebuildShape() {
    if (!manager || !object)
        return;
    const DynamicMesh* mesh = object->getMesh();
    if (mesh != impl->lastMesh) {
        impl->lastMesh = mesh;
        impl->shapeCurrent = false;
    }
    if (!mesh || !visible || side == TouchSideNone)
        return;
    if (!manager->isHapticsEnabled()) {
        manager->addPending(this);
        return;
    }
    if (impl->shapeCurrent && mesh->getTopologyRevision() == impl->topologySeen &&
        mesh->getPositionRevision() == impl->positionSeen)
        return;
    // Only the same faces over moved vertices can be refitted; a new mesh
    // object (undo swaps meshes) may still have them.
    const bool sameFaces = impl->shapeCurrent && mesh->getTopologyRevision() == impl->topologySeen;
    impl->topologySeen = mesh->getTopologyRevision();
    impl->positionSeen = mesh->getPositionRevision();
    impl->shapeCurrent = true;
    setShapes(mesh->getVertices(), mesh->getFaces(), side, sameFaces);
}

void HapticsPresenter::setShapes(const std::vector<Vertex>& vertices, const std::vector<Face>& faces,
                                 int newSide, bool sameFaces) {
    const char* const origin = "Kiln::HapticsPresenter::setShapes()";
    if (!impl->surfaceInfo)
        impl->surfaceInfo = std::make_shared<HapticSimpleSurfaceInfo>(0.f, kDefaultStiffness);
    std::shared_ptr<IndexedShape> built;
    ShapeUpdateStats stats;
    try {
        if (shape && (sameFaces || shape->hasFaces(faces)))
            built = shape->refitted(vertices, &stats);
        if (!built) {
            built = std::make_shared<IndexedShape>(faces, vertices);
            stats = ShapeUpdateStats{};
            stats.rebuilt = true;
        }
    } catch (const Exception&) {
        throw Exception(ErrorCode::OperationFailed, "Failed to create haptic shape...", origin);
    } catch (const std::bad_alloc&) {
        throw Exception(ErrorCode::OperationFailed, "Failed to create haptic shape...", origin);
    }
    impl->lastUpdate = stats;
    // Vertex lists rewritten with the same positions (a new colour) keep
    // the shape in use.
    if (built != shape && !stats.rebuilt && stats.movedVertices == 0 && manager) {
        side = newSide;
        applySide();
        return;
    }
    built->setSurfaceInfo(impl->surfaceInfo);
    if (!manager)
        return;
    // The new shape is placed before the haptic thread can see it, and goes
    // in before the old one leaves, so the proxy never falls through between
    // the two; a tick still using the old one keeps it alive until it ends.
    built->setOwner(this);
    const std::shared_ptr<IndexedShape> old = std::exchange(shape, std::move(built));
    side = newSide;
    onTransformChanged();
    RuspiniRenderer* renderer = manager->getRenderer();
    if (old && renderer && renderer->containsShape(old)) {
        shape->setSide(old->getSide());
        renderer->addShape(shape);
        renderer->removeShape(old);
    }
    applySide();
}

const ShapeUpdateStats& HapticsPresenter::getLastShapeUpdate() const { return impl->lastUpdate; }

const TouchInfo& HapticsPresenter::getLastTouch() const { return impl->lastTouch; }

void HapticsPresenter::touchBegin(const TouchInfo& info) {
    if (object) {
        auto worker = std::make_unique<HapticDeformation>();
        object->setParameter(kDeformation, ObjectParameter<VertexListWorker*>(worker.get()));
        deformation = std::move(worker); // the old worker is no longer drawn
    }
    touchContinue(info);
}

void HapticsPresenter::touchContinue(const TouchInfo& info) {
    if (!object)
        return;
    if (!deformation) {
        touchBegin(info);
        return;
    }
    const Ogre::Matrix4& world = object->getWorldMatrix();
    const Ogre::Matrix4& inverse = object->getInverseWorldMatrix();
    const Ogre::Matrix3 direction =
        info.stylus ? info.stylus->getDirectionMatrix() : Ogre::Matrix3::IDENTITY;
    const Ogre::Vector3 v = direction * info.deformation;
    impl->lastTouch = info;
    const float r = info.proxyRadius;
    // A proxy without a positive finite radius gives no dent: the dent's
    // scale would divide by it.
    const bool dent = r > 0.f && std::isfinite(r) && isFinite(v) && isFinite(info.proxyPosition) &&
                      v.squaredLength() > 0.f;
    if (!dent) {
        deformation->displacement = Ogre::Vector3::ZERO;
        deformation->transform = Ogre::Matrix4::IDENTITY;
        if (info.stylus) {
            info.stylus->removeOffset(object->getId());
            info.stylus->setPosition(info.stylus->getBasePosition());
        }
        redraw(*object);
        return;
    }
    const float k = 1.f / (r * kDentReach);
    const Ogre::Vector3 centre = info.proxyPosition + v.normalisedCopy() * r;
    const Ogre::Vector3 localCentre = inverse * centre;
    const Ogre::Matrix3 linear = world.linear();
    const Ogre::Matrix3 inverseLinear = inverse.linear();
    Ogre::Matrix4 toCentre = Ogre::Matrix4::IDENTITY;
    toCentre.setTrans(-localCentre);
    deformation->transform = Ogre::Matrix4(linear * k) * toCentre;
    deformation->displacement = inverseLinear * v;
    if (info.stylus) {
        info.stylus->setOffset(object->getId(), v);
        info.stylus->setPosition(info.stylus->getBasePosition());
    }
    redraw(*object);
}

void HapticsPresenter::touchEnd() {
    if (!object)
        return;
    object->setParameter(kDeformation, ObjectParameter<VertexListWorker*>(nullptr));
    deformation.reset();
    if (HapticStylus* stylus = impl->lastTouch.stylus) {
        stylus->removeOffset(object->getId());
        stylus->setPosition(stylus->getBasePosition());
    }
    impl->lastTouch = TouchInfo{};
    redraw(*object);
}

} // namespace Kiln
