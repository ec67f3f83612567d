#pragma once
// The undo record of one click of the deform tool. It keeps only what the
// click changed (the indices and old and new positions of the moved
// vertices), not copies of the meshes: a click moves a few thousand
// vertices of meshes that may hold millions.
#include "functions/FunctionBase.h"
#include "scene/ObjectHandle.h"

#include <OgreVector3.h>

#include <cstdint>
#include <vector>

namespace Kiln {
class Object;
class VertexListWorker;
} // namespace Kiln

class DeformState : public FunctionState {
public:
    explicit DeformState(const FunctionBase* function) : FunctionState(function) {}

    /// Applies `dent` to the mesh of `object`, records every vertex whose
    /// position changed and tells the object's presenters. `scratch` is a
    /// buffer the caller keeps between clicks (it grows to the vertex count).
    /// Returns the number of vertices moved; an object without a mesh gives 0.
    std::size_t commitDent(Kiln::Object& object, Kiln::VertexListWorker& dent,
                           std::vector<Ogre::Vector3>& scratch);

    bool isEmpty() const { return entries.empty(); }
    std::size_t getObjectCount() const { return entries.size(); }
    std::size_t getChangedVertexCount() const;
    /// Bytes held by the recorded positions and indices.
    std::size_t getMemoryBytes() const;

    /// Put back the positions before (after) the click on every object that
    /// still exists with the same vertex count; others are skipped.
    void undo() override;
    void redo() override;

private:
    struct Entry {
        Kiln::ObjectHandle object;
        std::size_t vertexCount = 0;
        std::vector<std::uint32_t> indices;  ///< ascending
        std::vector<Ogre::Vector3> before;
        std::vector<Ogre::Vector3> after;
    };

    static void restore(const Entry& entry, const std::vector<Ogre::Vector3>& positions);

    std::vector<Entry> entries;
};
