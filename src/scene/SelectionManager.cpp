#include "scene/SelectionManager.h"

#include "log/Exception.h"
#include "scene/Object.h"

#include <algorithm>

namespace Kiln {

SelectionListener::~SelectionListener() {
    if (manager)
        manager->removeListener(this);
}

SelectionManager::SelectionManager(ObjectGroup* root_) : root(root_) {}

SelectionManager::~SelectionManager() {
    for (SelectionListener* listener : listeners)
        listener->manager = nullptr;
    listeners.clear();
    current = ObjectHandle();
    selected.clear();
}

ObjectGroup* SelectionManager::_getAbsoluteParent(ObjectGroup* node) const {
    while (node) {
        if (!node->hasParent())
            break;
        ObjectGroup* parent = node->getParent();
        if (parent == root)
            return node;
        node = parent;
    }
    throw Exception(ErrorCode::Selection, "Object not in scene hierarchy!", "SelectionManager::_getAbsoluteParent()");
}

void SelectionManager::addObjectToSelected(const ObjectHandle& handle) {
    ObjectGroup* node = handle.get();
    if (!node)
        throw Exception(ErrorCode::Selection, "Cannot addObjectToSelected with the given Object ID in SelectionManager",
                        "SelectionManager::addObjectToSelected()");
    if (!node->isVisible())
        return;
    ObjectGroup* top = _getAbsoluteParent(node);
    top->setParameter("showBoundingBox", true);
    selected.insert(top->getHandle());
    const std::vector<SelectionListener*> toTell = listeners;
    for (SelectionListener* listener : toTell)
        listener->onSelected(handle);
}

void SelectionManager::removeObjectFromSelected(const ObjectHandle& handle) {
    ObjectGroup* top = _getAbsoluteParent(handle.get());
    top->setParameter("showBoundingBox", false);
    selected.erase(top->getHandle());
    const std::vector<SelectionListener*> toTell = listeners;
    for (SelectionListener* listener : toTell)
        listener->onDeselected(handle);
}

void SelectionManager::clearSelection() {
    for (const ObjectHandle& item : selected)
        if (ObjectGroup* node = item.get())
            node->setParameter("showBoundingBox", false);
    selected.clear();
}

void SelectionManager::setSelection(const HandleSet& handles) {
    const HandleSet wanted = handles;  // `handles` may be our own set
    clearSelection();
    for (const ObjectHandle& handle : wanted)
        addObjectToSelected(handle);
}

bool SelectionManager::isSelected(const ObjectHandle& handle) const {
    ObjectGroup* top = _getAbsoluteParent(handle.get());
    return selected.count(top->getHandle()) != 0;
}

std::vector<Object*> SelectionManager::getSelectedObjects() const {
    std::vector<Object*> objects;
    for (const ObjectHandle& item : selected) {
        if (Object* object = item.getObject()) {
            objects.push_back(object);
            continue;
        }
        if (ObjectGroup* group = item.get())
            for (const auto& child : group->getChildren())
                if (child->isObject())
                    objects.push_back(static_cast<Object*>(child.get()));
    }
    return objects;
}

std::vector<ObjectHandle> SelectionManager::getTopLevelObjects(bool visibleOnly) const {
    std::vector<ObjectHandle> items;
    for (const auto& child : root->getChildren())
        if (!visibleOnly || child->isVisible())
            items.push_back(child->getHandle());
    return items;
}

void SelectionManager::selectOnly(const ObjectHandle& item) {
    current = item;
    clearSelection();
    addObjectToSelected(current);
}

void SelectionManager::selectNext() {
    const std::vector<ObjectHandle> items = getTopLevelObjects(true);
    if (items.empty())
        return;
    const auto found = std::find(items.begin(), items.end(), current);
    if (found == items.end() || found + 1 == items.end())
        selectOnly(items.front());
    else
        selectOnly(*(found + 1));
}

void SelectionManager::selectPrevious() {
    const std::vector<ObjectHandle> items = getTopLevelObjects(true);
    if (items.empty())
        return;
    const auto found = std::find(items.begin(), items.end(), current);
    if (found == items.end() || found == items.begin())
        selectOnly(items.back());
    else
        selectOnly(*(found - 1));
}

void SelectionManager::addListener(SelectionListener* listener) {
    if (listener->manager && listener->manager != this)
        listener->manager->removeListener(listener);
    listener->manager = this;
    listeners.push_back(listener);
}

void SelectionManager::removeListener(SelectionListener* listener) {
    listeners.erase(std::remove(listeners.begin(), listeners.end(), listener), listeners.end());
    if (listener->manager == this)
        listener->manager = nullptr;
}

} // namespace Kiln
