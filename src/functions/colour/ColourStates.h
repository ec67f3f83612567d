#pragma once
// The undo records of the colour tools. Paint keeps only the vertices its
// stroke reached; a fill keeps every colour of the filled objects.
#include "functions/FunctionBase.h"
#include "scene/ObjectHandle.h"

#include <OgreColourValue.h>

#include <cstdint>
#include <vector>

namespace Kiln {
class Object;
} // namespace Kiln

/// One paint stroke on one object. Each vertex is recorded once, with its
/// colour from before the stroke; undo and redo swap the recorded colours
/// with the mesh's, so applying either twice gives back the same mesh.
class PaintState : public FunctionState {
public:
    PaintState(const FunctionBase* function, Kiln::Object& target);

    /// Records `vertex` with `colour` unless it is recorded already; true
    /// when it was new. `vertex` must be below the mesh's vertex count at
    /// the stroke's start.
    bool record(std::uint32_t vertex, const Ogre::ColourValue& colour);
    bool isEmpty() const { return entries.empty(); }
    std::size_t size() const { return entries.size(); }

    /// Swap colours; skipped when the object died or its vertex count changed.
    void undo() override { swap(); }
    void redo() override { swap(); }

private:
    struct Entry {
        std::uint32_t vertex;
        Ogre::ColourValue colour;
    };
    void swap();

    Kiln::ObjectHandle target;
    std::size_t vertexCount;
    std::vector<Entry> entries;
    std::vector<std::uint8_t> recorded;  ///< one flag per vertex, freed once the stroke is pushed
};

/// Every vertex of the selected objects set to one colour.
class ColourFillState : public FunctionState {
public:
    /// Captures the vertex colours of `objects` (those with a mesh).
    ColourFillState(const FunctionBase* function, const std::vector<Kiln::Object*>& objects);

    bool isEmpty() const { return entries.empty(); }
    void setColour(const Ogre::ColourValue& newColour) { colour = newColour; }
    const Ogre::ColourValue& getColour() const { return colour; }

    /// Restores the captured colours.
    void undo() override;
    /// Fills every captured object with the colour.
    void redo() override;

private:
    struct Entry {
        Kiln::ObjectHandle object;
        std::vector<Ogre::ColourValue> before;
    };
    std::vector<Entry> entries;
    Ogre::ColourValue colour = Ogre::ColourValue::White;
};
