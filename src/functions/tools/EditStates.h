#pragma once
// History entries of the edit tools.
#include "functions/FunctionBase.h"
#include "functions/tools/ToolSupport.h"

#include <memory>
#include <vector>

/// Items taken out of the scene (cut or deleted). Undo puts them back under
/// the scene root, selected; redo takes them out again.
class RemoveItemsState : public FunctionState {
public:
    RemoveItemsState(const FunctionBase* function, const FunctionContext& context,
                     const std::vector<Kiln::ObjectHandle>& items);
    void undo() override { nodes.putBack(context, true); }
    void redo() override { nodes.takeOut(context); }

private:
    const FunctionContext& context;
    tools::DetachedNodes nodes;
};
using CutState = RemoveItemsState;
using DeleteObjectState = RemoveItemsState;

/// Copies put into the scene. Undo takes them out; redo puts them back,
/// selected.
class PasteState : public FunctionState {
public:
    PasteState(const FunctionBase* function, const FunctionContext& context)
        : FunctionState(function), context(context) {}
    /// A copy just added to the scene, at `position`.
    void add(const Kiln::ObjectHandle& copy, const Ogre::Vector3& position);
    const std::vector<Kiln::ObjectHandle>& getCopies() const { return copies; }
    const std::vector<Ogre::Vector3>& getPositions() const { return positions; }
    void undo() override;
    void redo() override;

private:
    const FunctionContext& context;
    tools::DetachedNodes nodes;
    std::vector<Kiln::ObjectHandle> copies;
    std::vector<Ogre::Vector3> positions;
};

/// A new group and the items moved into it, with where each stood before.
class GroupingState : public FunctionState {
public:
    GroupingState(const FunctionBase* function, const FunctionContext& context,
                  std::unique_ptr<Kiln::ObjectGroup> group);
    void addMember(Kiln::ObjectGroup& item);
    Kiln::ObjectGroup* getGroup() const { return groupHandle.get(); }
    /// Puts the group under the scene root and moves the members in.
    void redo() override;
    /// Moves the members back to their former parents and places, selected,
    /// and takes the group out.
    void undo() override;

private:
    struct Member {
        Kiln::ObjectHandle handle;
        Kiln::ObjectHandle formerParent;
        tools::Placement placement;
    };
    const FunctionContext& context;
    std::unique_ptr<Kiln::ObjectGroup> heldGroup;
    Kiln::ObjectHandle groupHandle;
    std::vector<Member> members;
};

/// Dissolved groups, each with its children and their places in it.
class UnGroupState : public FunctionState {
public:
    UnGroupState(const FunctionBase* function, const FunctionContext& context)
        : FunctionState(function), context(context) {}
    void addGroup(Kiln::ObjectGroup& group);
    bool empty() const { return groups.empty(); }
    void redo() override;
    /// Rebuilds the groups, selected.
    void undo() override;

private:
    struct Child {
        Kiln::ObjectHandle handle;
        tools::Placement placement;
    };
    struct Group {
        Kiln::ObjectHandle handle;
        std::unique_ptr<Kiln::ObjectGroup> held;
        std::vector<Child> children;
    };
    const FunctionContext& context;
    std::vector<Group> groups;
};
