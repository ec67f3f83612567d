#include "scene/ObjectGroup.h"

#include "log/Exception.h"

#include <OgreMath.h>

#include <atomic>
#include <cmath>
#include <utility>

namespace Kiln {

namespace {

std::uint32_t nextNodeId() {
    static std::atomic<std::uint32_t> counter{0};
    return counter++;
}

} // namespace

ObjectGroup::ObjectGroup() : id(nextNodeId()) {}

ObjectGroup::~ObjectGroup() {
    detachAll();
    parameters.clear();
    presenters.clear();
    children.clear();
}

void ObjectGroup::detachAll() {
    if (detached)
        return;
    detached = true;
    if (handleBlock) {
        handleBlock->node = nullptr;
        if (handleBlock->count == 0)
            delete handleBlock;
        handleBlock = nullptr;
    }
    for (auto& entry : presenters)
        entry.second->setObject(nullptr);
}

ObjectHandle ObjectGroup::getHandle() {
    if (!handleBlock)
        handleBlock = new ObjectHandle::Block{this, 0};
    return ObjectHandle(handleBlock);
}

void ObjectGroup::setVisible(bool flag) {
    visible = flag;
    forEachPresenter([flag](IObjectPresenter& p) { p.setVisible(flag); });
}

void ObjectGroup::forEachPresenter(const std::function<void(IObjectPresenter&)>& call) const {
    for (const auto& entry : presenters)
        call(*entry.second);
}

// --- copying ---------------------------------------------------------------

std::unique_ptr<ObjectGroup> ObjectGroup::copyNode() const {
    auto copy = std::make_unique<ObjectGroup>();
    copy->copyTransformFrom(*this);
    return copy;
}

void ObjectGroup::copyTransformFrom(const ObjectGroup& source) {
    position = source.position;
    orientation = source.orientation;
    scale = source.scale;
    localMatrix = source.localMatrix;
    worldMatrix = source.localMatrix;
}

std::unique_ptr<ObjectGroup> ObjectGroup::copyTree(bool withPresenters) const {
    std::unique_ptr<ObjectGroup> copy = copyNode();
    for (const auto& entry : parameters) {
        ParameterBinding& binding = copy->parameters[entry.first];
        binding.stored = getParameter(entry.first);
    }
    if (withPresenters)
        for (const auto& entry : presenters)
            copy->ObjectGroup::setPresenter(entry.first, entry.second->clone());
    for (const auto& child : children) {
        std::unique_ptr<ObjectGroup> childCopy = withPresenters ? child->clone() : child->cloneWithoutPresenters();
        copy->addChild(childCopy);
    }
    copy->updateTransform();
    copy->finishCopy(*this);
    return copy;
}

void ObjectGroup::centrePivot() {
    if (children.empty())
        return;
    Ogre::Vector3 centre = Ogre::Vector3::ZERO;
    for (const auto& child : children)
        centre += child->position;
    centre /= static_cast<float>(children.size());
    for (const auto& child : children)
        child->setPosition(child->position - centre);
    setPosition(position + orientation * (scale * centre));
}

// --- presenters ------------------------------------------------------------

void ObjectGroup::setPresenter(const std::string& name, std::unique_ptr<IObjectPresenter> presenter) {
    std::unique_ptr<IObjectPresenter>& slot = presenters[name];
    if (slot)
        slot->setObject(nullptr);
    slot = std::move(presenter);
    if (!slot) {
        presenters.erase(name);
        return;
    }
    slot->setObject(this);
    slot->onParentChanged();
    slot->onTransformChanged();
}

IObjectPresenter* ObjectGroup::getPresenter(const std::string& name) const {
    const auto found = presenters.find(name);
    return found == presenters.end() ? nullptr : found->second.get();
}

// --- children --------------------------------------------------------------

void ObjectGroup::addChild(std::unique_ptr<ObjectGroup>& child) {
    if (!child)
        return;
    if (child->parent) {
        // The old parent owns the node: `child` is only an alias of it.
        takeChild(child.release());
        return;
    }
    std::unique_ptr<ObjectGroup> owned = std::move(child);
    children.push_back(std::move(owned));
    ObjectGroup* node = children.back().get();
    node->parent = this;
    node->forEachPresenter([](IObjectPresenter& p) { p.onParentChanged(); });
    node->updateTransform();
}

void ObjectGroup::takeChild(ObjectGroup* node) {
    if (!node || node->parent == this)
        return;
    if (!node->parent)
        throw Exception(ErrorCode::General, "Null reference to parent", "Kiln::ObjectGroup::takeChild()");
    std::unique_ptr<ObjectGroup> moving;
    node->parent->removeChild(moving, node);
    addChild(moving);
}

std::size_t ObjectGroup::indexOfChild(const ObjectGroup* child) const {
    for (std::size_t i = 0; i < children.size(); ++i)
        if (children[i].get() == child)
            return i;
    return children.size();
}

void ObjectGroup::releaseChildAt(std::unique_ptr<ObjectGroup>& out, std::size_t index) {
    std::unique_ptr<ObjectGroup>& slot = children[index];
    slot->parent = nullptr;
    out = std::move(slot);
    std::swap(slot, children.back());
    children.pop_back();
    out->forEachPresenter([](IObjectPresenter& p) { p.onParentChanged(); });
}

void ObjectGroup::removeChild(std::unique_ptr<ObjectGroup>& out, ObjectGroup* child) {
    const std::size_t index = indexOfChild(child);
    if (child == nullptr || child->parent != this || index == children.size())
        throw Exception(ErrorCode::General, "Trying to remove child from wrong parent!", "Kiln::ObjectGroup::removeChild()");
    releaseChildAt(out, index);
}

void ObjectGroup::removeChild(std::unique_ptr<ObjectGroup>& out, const ObjectHandle& child) {
    const ObjectGroup* node = child.get();
    for (std::size_t i = 0; node && i < children.size(); ++i)
        if (children[i]->id == node->id) {
            releaseChildAt(out, i);
            return;
        }
    throw Exception(ErrorCode::General, "Trying to remove child from wrong parent!", "Kiln::ObjectGroup::removeChild()");
}

ObjectGroup* ObjectGroup::getParent() const {
    if (!parent)
        throw Exception(ErrorCode::General, "Null reference to parent", "Kiln::ObjectGroup::getParent()");
    return parent;
}

// --- transform -------------------------------------------------------------

void ObjectGroup::setPosition(const Ogre::Vector3& value) {
    position = value;
    updateTransform();
}

void ObjectGroup::setOrientation(const Ogre::Quaternion& value) {
    orientation = value;
    updateTransform();
}

void ObjectGroup::setScale(const Ogre::Vector3& value) {
    scale = value;
    updateTransform();
}

void ObjectGroup::setTransform(const Ogre::Vector3& newPosition, const Ogre::Quaternion& newOrientation,
                               const Ogre::Vector3& newScale) {
    position = newPosition;
    orientation = newOrientation;
    scale = newScale;
    updateTransform();
}

void ObjectGroup::updateTransform() {
    localMatrix.makeTransform(position, scale, orientation);
    worldMatrix = parent ? parent->worldMatrix * localMatrix : localMatrix;
    inverseWorldMatrix = Ogre::Matrix4(Ogre::Affine3(worldMatrix).inverse());
    forEachPresenter([](IObjectPresenter& p) { p.onTransformChanged(); });
    for (const auto& child : children)
        child->updateTransform();
}

ObjectGroup::WorldTransform ObjectGroup::getWorldTransform() const {
    if (!parent)
        return {position, orientation, scale};
    WorldTransform world;
    Ogre::Affine3(worldMatrix).decomposition(world.position, world.scale, world.orientation);
    return world;
}

void ObjectGroup::lookAt(const Ogre::Vector3& target) {
    if (!std::isfinite(target.x) || !std::isfinite(target.y) || !std::isfinite(target.z))
        return;
    Ogre::Vector3 direction = position - target;
    if (direction == Ogre::Vector3::ZERO)
        return;
    direction.normalise();
    const Ogre::Vector3 axisY = orientation.yAxis();
    const Ogre::Vector3 axisZ = orientation.zAxis();
    Ogre::Quaternion rotation;
    if ((axisZ + direction).squaredLength() < 5e-5f)
        rotation.FromAngleAxis(Ogre::Radian(Ogre::Math::PI), axisY);
    else
        rotation = axisZ.getRotationTo(direction);
    orientation = rotation * orientation;
    updateTransform();
}

// --- parameters ------------------------------------------------------------

void ObjectGroup::setParameter(const std::string& name, const IObjectParameter& value) {
    ParameterBinding& binding = parameters[name];
    if (binding.owner == nullptr)
        binding.stored = value.clone();
    else
        binding.setter(binding.owner, value);
    for (const auto& child : children)
        child->setParameter(name, value);
}

void ObjectGroup::setParameter(const std::string& name, bool value) {
    setParameter(name, ObjectParameter<bool>(value));
}

void ObjectGroup::setParameter(const std::string& name, float value) {
    setParameter(name, ObjectParameter<float>(value));
}

void ObjectGroup::setParameter(const std::string& name, const std::string& value) {
    setParameter(name, ObjectParameter<std::string>(value));
}

std::unique_ptr<IObjectParameter> ObjectGroup::getParameter(const std::string& name) const {
    const auto found = parameters.find(name);
    if (found == parameters.end())
        return nullptr;
    const ParameterBinding& binding = found->second;
    if (binding.owner == nullptr)
        return binding.stored ? binding.stored->clone() : nullptr;
    return binding.getter(binding.owner);
}

void ObjectGroup::bindParameter(const std::string& name, void* owner, Setter setter, Getter getter,
                                const ParameterTypeInfo* type) {
    ParameterBinding& binding = parameters[name];
    binding.owner = owner;
    binding.setter = std::move(setter);
    binding.getter = std::move(getter);
    binding.type = type;
    if (binding.stored) {
        const std::unique_ptr<IObjectParameter> stored = std::move(binding.stored);
        if (binding.owner)
            binding.setter(binding.owner, *stored);
    }
}

void ObjectGroup::unbindParameter(const std::string& name) { parameters.erase(name); }

} // namespace Kiln
