#pragma once
// History entries of the transform tools. Each keeps, per node, the one
// value the tool changed; undo and redo both swap the kept value with the
// node's current one, so one entry steps either way. Dead nodes are skipped.
#include "functions/FunctionBase.h"
#include "scene/ObjectGroup.h"

#include <OgreQuaternion.h>
#include <OgreVector3.h>

#include <vector>

struct PositionField {
    using Value = Ogre::Vector3;
    static Value get(const Kiln::ObjectGroup& node) { return node.getPosition(); }
    static void set(Kiln::ObjectGroup& node, const Value& value) { node.setPosition(value); }
};
struct OrientationField {
    using Value = Ogre::Quaternion;
    static Value get(const Kiln::ObjectGroup& node) { return node.getOrientation(); }
    static void set(Kiln::ObjectGroup& node, const Value& value) { node.setOrientation(value); }
};
struct ScaleField {
    using Value = Ogre::Vector3;
    static Value get(const Kiln::ObjectGroup& node) { return node.getScale(); }
    static void set(Kiln::ObjectGroup& node, const Value& value) { node.setScale(value); }
};

template <typename Field>
class SwapValueState : public FunctionState {
public:
    using Value = typename Field::Value;
    struct Entry {
        Kiln::ObjectHandle handle;
        Value value;  ///< the value not currently shown
    };

    explicit SwapValueState(const FunctionBase* function) : FunctionState(function) {}

    /// Records the node with its current value.
    void add(Kiln::ObjectGroup& node) { entries.push_back({node.getHandle(), Field::get(node)}); }
    const std::vector<Entry>& getEntries() const { return entries; }

    void undo() override { swap(); }
    void redo() override { swap(); }

private:
    void swap() {
        for (Entry& entry : entries)
            if (Kiln::ObjectGroup* node = entry.handle.get()) {
                const Value shown = Field::get(*node);
                Field::set(*node, entry.value);
                entry.value = shown;
            }
    }

    std::vector<Entry> entries;
};

using MoveObjectState = SwapValueState<PositionField>;
using RotateObjectState = SwapValueState<OrientationField>;
using SnapState = SwapValueState<PositionField>;

/// The scale drag also keeps the factor reached so far: `base` holds what
/// earlier parts of the drag (before a change of keys) reached, `scale` the
/// part since.
class ScaleObjectState : public SwapValueState<ScaleField> {
public:
    using SwapValueState<ScaleField>::SwapValueState;
    Ogre::Vector3 scale = Ogre::Vector3::UNIT_SCALE;
    Ogre::Vector3 base = Ogre::Vector3::UNIT_SCALE;
    /// The whole factor of the drag.
    Ogre::Vector3 total() const { return scale * base; }
};
