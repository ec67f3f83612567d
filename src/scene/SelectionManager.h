#pragma once
// The set of selected top-level items of the user root. Selecting any node
// selects the root's child that contains it; selected items show their
// bounding boxes through the "showBoundingBox" parameter.
#include "scene/ObjectHandle.h"

#include <set>
#include <vector>

namespace Kiln {

class Object;
class SelectionManager;

/// Observer of selection changes; unregisters itself when destroyed.
class SelectionListener {
public:
    SelectionListener() = default;
    SelectionListener(const SelectionListener&) = delete;
    SelectionListener& operator=(const SelectionListener&) = delete;
    virtual void onSelected(ObjectHandle handle) { (void)handle; }
    virtual void onDeselected(ObjectHandle handle) { (void)handle; }
    virtual ~SelectionListener();

    SelectionManager* getSelectionManager() const { return manager; }

private:
    friend class SelectionManager;
    SelectionManager* manager = nullptr;
};

class SelectionManager {
public:
    using HandleSet = std::set<ObjectHandle>;

    /// `root` (not owned) is the user root whose children are selectable.
    explicit SelectionManager(ObjectGroup* root);
    ~SelectionManager();
    SelectionManager(const SelectionManager&) = delete;
    SelectionManager& operator=(const SelectionManager&) = delete;

    /// Selects the top-level item holding the node and tells every listener
    /// (even when it was selected already). Hidden nodes are ignored.
    /// Throws Kiln::Exception (code 2) for a dead or empty handle or a node
    /// outside the root.
    void addObjectToSelected(const ObjectHandle& handle);
    void removeObjectFromSelected(const ObjectHandle& handle);
    /// Deselects everything without telling the listeners.
    void clearSelection();
    void setSelection(const HandleSet& handles);
    bool isSelected(const ObjectHandle& handle) const;
    const HandleSet& getSelected() const { return selected; }
    /// Selected objects, and the direct Object children of selected groups.
    std::vector<Object*> getSelectedObjects() const;
    std::vector<ObjectHandle> getTopLevelObjects(bool visibleOnly) const;
    void selectNext();
    void selectPrevious();
    const ObjectHandle& getCurrent() const { return current; }

    void addListener(SelectionListener* listener);
    void removeListener(SelectionListener* listener);

    /// The root's child on the way from `node` up to the root. Throws
    /// Kiln::Exception (code 2) when the node is not below the root.
    ObjectGroup* _getAbsoluteParent(ObjectGroup* node) const;

private:
    void selectOnly(const ObjectHandle& item);

    ObjectGroup* root;
    HandleSet selected;
    ObjectHandle current;
    std::vector<SelectionListener*> listeners;
};

} // namespace Kiln
