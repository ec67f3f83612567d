#pragma once
// A node's mirror in another subsystem (graphics, haptics). The node tells
// its presenters what changed; presenters bind the parameters they serve.
#include <memory>

namespace Kiln {

class ObjectGroup;

class IObjectPresenter {
public:
    virtual ~IObjectPresenter() = default;
    /// A new, unattached presenter of the same kind and settings.
    virtual std::unique_ptr<IObjectPresenter> clone() const = 0;
    /// Attach to `node` (binding parameters there) or detach with null.
    virtual void setObject(ObjectGroup* node) = 0;
    virtual void onTransformChanged() = 0;
    virtual void onMeshChanged() = 0;
    virtual void onParentChanged() = 0;
    virtual void setVisible(bool visible) = 0;
    virtual bool isVisible() const = 0;
};

} // namespace Kiln
