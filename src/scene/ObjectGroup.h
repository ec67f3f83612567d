#pragma once
// A node of the scene graph: a local transform, owned children, named
// presenters that mirror the node in other subsystems, and a table of named
// typed parameters that presenters may bind to their own setters.
#include "scene/IObjectPresenter.h"
#include "scene/ObjectHandle.h"
#include "scene/ObjectParameter.h"

#include <OgreMatrix4.h>
#include <OgreQuaternion.h>
#include <OgreVector3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Kiln {

class DynamicMesh;

class ObjectGroup {
public:
    using Setter = std::function<void(void* owner, const IObjectParameter& value)>;
    using Getter = std::function<std::unique_ptr<IObjectParameter>(void* owner)>;

    struct WorldTransform {
        Ogre::Vector3 position;
        Ogre::Quaternion orientation;
        Ogre::Vector3 scale;
    };

    /// A visible node without parent, children, presenters or parameters,
    /// with the next id of the process-wide counter.
    ObjectGroup();
    /// Kills the node's handles, detaches the presenters, then deletes
    /// presenters and children.
    virtual ~ObjectGroup();

    ObjectGroup(const ObjectGroup&) = delete;
    ObjectGroup& operator=(const ObjectGroup&) = delete;

    std::uint32_t getId() const { return id; }
    /// A weak handle to this node; all handles of a node compare equal.
    ObjectHandle getHandle();

    virtual bool isVisible() const { return visible; }
    /// Stores the flag and passes it to every presenter.
    virtual void setVisible(bool visible);

    /// Deep copies with new ids, visible, no parent. Parameters are copied
    /// by value (bindings are not); `clone` also clones the presenters.
    std::unique_ptr<ObjectGroup> clone() const { return copyTree(true); }
    std::unique_ptr<ObjectGroup> cloneWithoutPresenters() const { return copyTree(false); }

    /// Moves the pivot to the centre of the children (groups) or of the
    /// vertices (objects) without moving anything in the world.
    virtual void centrePivot();

    virtual DynamicMesh* getMesh() { return nullptr; }
    virtual const DynamicMesh* getMesh() const { return nullptr; }
    virtual bool isObject() const { return false; }

    /// Installs `presenter` under `name` (deleting the one there), attaches
    /// it and tells it the parent and transform.
    virtual void setPresenter(const std::string& name, std::unique_ptr<IObjectPresenter> presenter);
    IObjectPresenter* getPresenter(const std::string& name) const;

    /// Takes `child` (emptying the pointer). A child that still has a
    /// parent is owned there: the pointer is then an alias that is released,
    /// and the node moves over as with takeChild. Empty pointers are ignored.
    void addChild(std::unique_ptr<ObjectGroup>& child);
    /// Same, for callers that hand over a freshly made node; returns it.
    template <typename T>
    T* adoptChild(std::unique_ptr<T> child) {
        T* raw = child.get();
        std::unique_ptr<ObjectGroup> owned(std::move(child));
        addChild(owned);
        return raw;
    }
    /// Moves `node` from its current parent (if any) to this node; the
    /// node keeps its local transform. A node of ours is left alone.
    void takeChild(ObjectGroup* node);
    /// Releases `child` into `out`; the former last child takes its slot.
    /// Throws Kiln::Exception (code 0) when it is not a child of this node.
    void removeChild(std::unique_ptr<ObjectGroup>& out, ObjectGroup* child);
    void removeChild(std::unique_ptr<ObjectGroup>& out, const ObjectHandle& child);

    /// Throws Kiln::Exception (code 0) when the node has no parent.
    ObjectGroup* getParent() const;
    bool hasParent() const { return parent != nullptr; }
    const std::vector<std::unique_ptr<ObjectGroup>>& getChildren() const { return children; }

    void setPosition(const Ogre::Vector3& position);
    void setOrientation(const Ogre::Quaternion& orientation);
    void setScale(const Ogre::Vector3& scale);
    void setTransform(const Ogre::Vector3& position, const Ogre::Quaternion& orientation,
                      const Ogre::Vector3& scale);
    const Ogre::Vector3& getPosition() const { return position; }
    const Ogre::Quaternion& getOrientation() const { return orientation; }
    const Ogre::Vector3& getScale() const { return scale; }
    const Ogre::Matrix4& getLocalMatrix() const { return localMatrix; }
    const Ogre::Matrix4& getWorldMatrix() const { return worldMatrix; }
    const Ogre::Matrix4& getInverseWorldMatrix() const { return inverseWorldMatrix; }
    WorldTransform getWorldTransform() const;

    /// Turns the node's +Z axis to point away from `target`; ignores
    /// non-finite targets and a target at the node's position.
    void lookAt(const Ogre::Vector3& target);

    /// Recomputes the matrices of this node and its subtree and tells the
    /// presenters.
    void updateTransform();

    /// Sets the parameter here and on every descendant: through the binder's
    /// setter when bound, else stored until a binder arrives.
    void setParameter(const std::string& name, const IObjectParameter& value);
    void setParameter(const std::string& name, bool value);
    void setParameter(const std::string& name, float value);
    void setParameter(const std::string& name, const std::string& value);
    void setParameter(const std::string& name, const char* value) { setParameter(name, std::string(value)); }
    /// The current value, or null when never set and not bound.
    std::unique_ptr<IObjectParameter> getParameter(const std::string& name) const;
    /// The value when it is set and holds a T.
    template <typename T>
    std::optional<T> getParameterValue(const std::string& name) const {
        const auto parameter = getParameter(name);
        const T* value = parameterValue<T>(parameter.get());
        return value ? std::optional<T>(*value) : std::nullopt;
    }
    /// Routes the name to `owner`'s setter and getter; a stored value is
    /// handed to the new setter and dropped.
    void bindParameter(const std::string& name, void* owner, Setter setter, Getter getter,
                       const ParameterTypeInfo* type);
    /// Forgets the name entirely, value included.
    void unbindParameter(const std::string& name);

protected:
    /// A node of the same kind with this node's own fields copied (id,
    /// parent, children, presenters and parameters aside).
    virtual std::unique_ptr<ObjectGroup> copyNode() const;
    /// Completes a copy once presenters and children are in place.
    virtual void finishCopy(const ObjectGroup& source) { (void)source; }
    /// Calls `call` on every presenter.
    void forEachPresenter(const std::function<void(IObjectPresenter&)>& call) const;
    /// Kills handles and detaches presenters; safe to call twice.
    void detachAll();
    void copyTransformFrom(const ObjectGroup& source);

private:
    struct ParameterBinding {
        void* owner = nullptr;
        Setter setter;
        Getter getter;
        const ParameterTypeInfo* type = nullptr;
        std::unique_ptr<IObjectParameter> stored;
    };

    std::unique_ptr<ObjectGroup> copyTree(bool withPresenters) const;
    std::size_t indexOfChild(const ObjectGroup* child) const;
    void releaseChildAt(std::unique_ptr<ObjectGroup>& out, std::size_t index);

    ObjectHandle::Block* handleBlock = nullptr;
    std::uint32_t id;
    bool visible = true;
    bool detached = false;
    ObjectGroup* parent = nullptr;
    std::vector<std::unique_ptr<ObjectGroup>> children;
    Ogre::Vector3 position = Ogre::Vector3::ZERO;
    Ogre::Quaternion orientation = Ogre::Quaternion::IDENTITY;
    Ogre::Vector3 scale = Ogre::Vector3::UNIT_SCALE;
    Ogre::Matrix4 localMatrix = Ogre::Matrix4::IDENTITY;
    Ogre::Matrix4 worldMatrix = Ogre::Matrix4::IDENTITY;
    Ogre::Matrix4 inverseWorldMatrix = Ogre::Matrix4::IDENTITY;
    std::unordered_map<std::string, std::unique_ptr<IObjectPresenter>> presenters;
    std::unordered_map<std::string, ParameterBinding> parameters;
};

} // namespace Kiln
