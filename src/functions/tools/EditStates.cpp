#include "functions/tools/EditStates.h"

RemoveItemsState::RemoveItemsState(const FunctionBase* function, const FunctionContext& context,
                                   const std::vector<Kiln::ObjectHandle>& items)
    : FunctionState(function), context(context) {
    for (const Kiln::ObjectHandle& item : items)
        nodes.add(item);
}

void PasteState::add(const Kiln::ObjectHandle& copy, const Ogre::Vector3& position) {
    nodes.add(copy);
    copies.push_back(copy);
    positions.push_back(position);
}

void PasteState::undo() {
    tools::clearSelection(context);
    nodes.takeOut(context);
}

void PasteState::redo() {
    tools::clearSelection(context);
    nodes.putBack(context, true);
}

GroupingState::GroupingState(const FunctionBase* function, const FunctionContext& context,
                             std::unique_ptr<Kiln::ObjectGroup> group)
    : FunctionState(function), context(context), heldGroup(std::move(group)) {
    groupHandle = heldGroup->getHandle();
}

void GroupingState::addMember(Kiln::ObjectGroup& item) {
    members.push_back({item.getHandle(), item.hasParent() ? item.getParent()->getHandle() : Kiln::ObjectHandle(),
                       tools::localPlacement(item)});
}

void GroupingState::redo() {
    if (!heldGroup || !context.sceneRoot)
        return;
    tools::clearSelection(context);
    Kiln::ObjectGroup* group = context.sceneRoot->adoptChild(std::move(heldGroup));
    group->setTransform(Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY, Ogre::Vector3::UNIT_SCALE);
    for (const Member& member : members)
        if (Kiln::ObjectGroup* node = member.handle.get())
            tools::reparentKeepingWorld(*node, *group);
}

void GroupingState::undo() {
    Kiln::ObjectGroup* group = groupHandle.get();
    if (!group || !group->hasParent() || !context.sceneRoot)
        return;
    tools::clearSelection(context);
    for (const Member& member : members) {
        Kiln::ObjectGroup* node = member.handle.get();
        if (!node || !node->hasParent() || node->getParent() != group)
            continue;
        if (Kiln::ObjectGroup* parent = member.formerParent.get()) {
            parent->takeChild(node);
            tools::applyPlacement(*node, member.placement);
        } else {
            tools::reparentKeepingWorld(*node, *context.sceneRoot);
        }
        tools::select(context, member.handle);
    }
    // Whatever joined the group later stays where it is in the world.
    while (!group->getChildren().empty())
        tools::reparentKeepingWorld(*group->getChildren().front(), *context.sceneRoot);
    group->getParent()->removeChild(heldGroup, group);
}

void UnGroupState::addGroup(Kiln::ObjectGroup& group) {
    Group entry;
    entry.handle = group.getHandle();
    for (const auto& child : group.getChildren())
        entry.children.push_back({child->getHandle(), tools::localPlacement(*child)});
    groups.push_back(std::move(entry));
}

void UnGroupState::redo() {
    if (!context.sceneRoot)
        return;
    tools::clearSelection(context);
    for (Group& entry : groups) {
        Kiln::ObjectGroup* group = entry.handle.get();
        if (!group || entry.held || !group->hasParent())
            continue;
        for (const Child& child : entry.children)
            if (Kiln::ObjectGroup* node = child.handle.get())
                if (node->hasParent() && node->getParent() == group)
                    tools::reparentKeepingWorld(*node, *context.sceneRoot);
        group->getParent()->removeChild(entry.held, group);
    }
}

void UnGroupState::undo() {
    if (!context.sceneRoot)
        return;
    tools::clearSelection(context);
    for (Group& entry : groups) {
        if (!entry.held)
            continue;
        Kiln::ObjectGroup* group = context.sceneRoot->adoptChild(std::move(entry.held));
        for (const Child& child : entry.children)
            if (Kiln::ObjectGroup* node = child.handle.get()) {
                if (node->hasParent())
                    group->takeChild(node);
                else
                    continue;  // out of the scene meanwhile: its holder keeps it
                tools::applyPlacement(*node, child.placement);
            }
        tools::select(context, entry.handle);
    }
}
